/* Matrix (mxArray) C API of the substitute MATLAB host used by the C++ tests.
 * Signatures follow MATLAB's documented public C matrix API (interleaved-complex
 * flavour); only real (non-complex), non-sparse arrays are modelled. */
#ifndef KX_MXHOST_MATRIX_H
#define KX_MXHOST_MATRIX_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define MXHOST_EXTERN_C extern "C"
#else
#define MXHOST_EXTERN_C extern
#include <stdbool.h>
#endif

typedef struct mxArray_tag mxArray;

typedef size_t mwSize;
typedef size_t mwIndex;
typedef ptrdiff_t mwSignedIndex;

typedef bool mxLogical;
#ifdef __cplusplus
typedef char16_t mxChar;
#else
typedef uint16_t mxChar;
#endif
typedef double mxDouble;
typedef float mxSingle;
typedef int8_t mxInt8;
typedef uint8_t mxUint8;
typedef int16_t mxInt16;
typedef uint16_t mxUint16;
typedef int32_t mxInt32;
typedef uint32_t mxUint32;
typedef int64_t mxInt64;
typedef uint64_t mxUint64;

typedef enum {
    mxUNKNOWN_CLASS = 0,
    mxCELL_CLASS,
    mxSTRUCT_CLASS,
    mxLOGICAL_CLASS,
    mxCHAR_CLASS,
    mxVOID_CLASS,
    mxDOUBLE_CLASS,
    mxSINGLE_CLASS,
    mxINT8_CLASS,
    mxUINT8_CLASS,
    mxINT16_CLASS,
    mxUINT16_CLASS,
    mxINT32_CLASS,
    mxUINT32_CLASS,
    mxINT64_CLASS,
    mxUINT64_CLASS,
    mxFUNCTION_CLASS,
    mxOPAQUE_CLASS,
    mxOBJECT_CLASS
} mxClassID;

typedef enum { mxREAL = 0, mxCOMPLEX } mxComplexity;

/* Memory managed by the host: freed automatically at the end of the MEX call
 * unless made persistent with mexMakeMemoryPersistent. */
MXHOST_EXTERN_C void* mxMalloc(size_t n);
MXHOST_EXTERN_C void* mxCalloc(size_t n, size_t size);
MXHOST_EXTERN_C void* mxRealloc(void* ptr, size_t size);
MXHOST_EXTERN_C void mxFree(void* ptr);

/* Creation. */
MXHOST_EXTERN_C mxArray* mxCreateDoubleScalar(double value);
MXHOST_EXTERN_C mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity flag);
MXHOST_EXTERN_C mxArray* mxCreateNumericMatrix(mwSize m, mwSize n, mxClassID classid, mxComplexity flag);
MXHOST_EXTERN_C mxArray* mxCreateNumericArray(mwSize ndim, const mwSize* dims, mxClassID classid, mxComplexity flag);
/* Data left unset, as in MATLAB: the caller writes every element. */
MXHOST_EXTERN_C mxArray* mxCreateUninitNumericMatrix(size_t m, size_t n, mxClassID classid, mxComplexity flag);
MXHOST_EXTERN_C mxArray* mxCreateLogicalScalar(mxLogical value);
MXHOST_EXTERN_C mxArray* mxCreateLogicalMatrix(mwSize m, mwSize n);
MXHOST_EXTERN_C mxArray* mxCreateLogicalArray(mwSize ndim, const mwSize* dims);
MXHOST_EXTERN_C mxArray* mxCreateString(const char* str);
MXHOST_EXTERN_C mxArray* mxCreateCharArray(mwSize ndim, const mwSize* dims);
MXHOST_EXTERN_C mxArray* mxCreateCharMatrixFromStrings(mwSize m, const char** str);
MXHOST_EXTERN_C mxArray* mxCreateCellMatrix(mwSize m, mwSize n);
MXHOST_EXTERN_C mxArray* mxCreateCellArray(mwSize ndim, const mwSize* dims);
MXHOST_EXTERN_C mxArray* mxCreateStructMatrix(mwSize m, mwSize n, int nfields, const char** fieldnames);
MXHOST_EXTERN_C mxArray* mxCreateStructArray(mwSize ndim, const mwSize* dims, int nfields, const char** fieldnames);
MXHOST_EXTERN_C mxArray* mxDuplicateArray(const mxArray* in);
MXHOST_EXTERN_C void mxDestroyArray(mxArray* pa);

/* Class queries. */
MXHOST_EXTERN_C mxClassID mxGetClassID(const mxArray* pa);
MXHOST_EXTERN_C const char* mxGetClassName(const mxArray* pa);
MXHOST_EXTERN_C bool mxIsClass(const mxArray* pa, const char* name);
MXHOST_EXTERN_C bool mxIsNumeric(const mxArray* pa);
MXHOST_EXTERN_C bool mxIsDouble(const mxArray* pa);
MXHOST_EXTERN_C bool mxIsSingle(const mxArray* pa);
MXHOST_EXTERN_C bool mxIsInt8(const mxArray* pa);
MXHOST_EXTERN_C bool mxIsUint8(const mxArray* pa);
MXHOST_EXTERN_C bool mxIsInt16(const mxArray* pa);
MXHOST_EXTERN_C bool mxIsUint16(const mxArray* pa);
MXHOST_EXTERN_C bool mxIsInt32(const mxArray* pa);
MXHOST_EXTERN_C bool mxIsUint32(const mxArray* pa);
MXHOST_EXTERN_C bool mxIsInt64(const mxArray* pa);
MXHOST_EXTERN_C bool mxIsUint64(const mxArray* pa);
MXHOST_EXTERN_C bool mxIsLogical(const mxArray* pa);
MXHOST_EXTERN_C bool mxIsLogicalScalar(const mxArray* pa);
MXHOST_EXTERN_C bool mxIsLogicalScalarTrue(const mxArray* pa);
MXHOST_EXTERN_C bool mxIsChar(const mxArray* pa);
MXHOST_EXTERN_C bool mxIsStruct(const mxArray* pa);
MXHOST_EXTERN_C bool mxIsCell(const mxArray* pa);
MXHOST_EXTERN_C bool mxIsComplex(const mxArray* pa);
MXHOST_EXTERN_C bool mxIsSparse(const mxArray* pa);
MXHOST_EXTERN_C bool mxIsEmpty(const mxArray* pa);
MXHOST_EXTERN_C bool mxIsScalar(const mxArray* pa);

/* Shape. */
MXHOST_EXTERN_C size_t mxGetM(const mxArray* pa);
MXHOST_EXTERN_C size_t mxGetN(const mxArray* pa);
MXHOST_EXTERN_C mwSize mxGetNumberOfDimensions(const mxArray* pa);
MXHOST_EXTERN_C const mwSize* mxGetDimensions(const mxArray* pa);
MXHOST_EXTERN_C size_t mxGetNumberOfElements(const mxArray* pa);
MXHOST_EXTERN_C size_t mxGetElementSize(const mxArray* pa);

/* Data. Typed accessors return NULL when the class does not match or the array is empty. */
MXHOST_EXTERN_C double mxGetScalar(const mxArray* pa);
MXHOST_EXTERN_C double* mxGetPr(const mxArray* pa);
MXHOST_EXTERN_C void* mxGetData(const mxArray* pa);
MXHOST_EXTERN_C mxDouble* mxGetDoubles(const mxArray* pa);
MXHOST_EXTERN_C mxSingle* mxGetSingles(const mxArray* pa);
MXHOST_EXTERN_C mxInt8* mxGetInt8s(const mxArray* pa);
MXHOST_EXTERN_C mxUint8* mxGetUint8s(const mxArray* pa);
MXHOST_EXTERN_C mxInt16* mxGetInt16s(const mxArray* pa);
MXHOST_EXTERN_C mxUint16* mxGetUint16s(const mxArray* pa);
MXHOST_EXTERN_C mxInt32* mxGetInt32s(const mxArray* pa);
MXHOST_EXTERN_C mxUint32* mxGetUint32s(const mxArray* pa);
MXHOST_EXTERN_C mxInt64* mxGetInt64s(const mxArray* pa);
MXHOST_EXTERN_C mxUint64* mxGetUint64s(const mxArray* pa);
MXHOST_EXTERN_C mxLogical* mxGetLogicals(const mxArray* pa);
MXHOST_EXTERN_C mxChar* mxGetChars(const mxArray* pa);

/* Text. mxArrayToString returns an mxMalloc'd UTF-8 copy (release with mxFree), NULL for non-char. */
MXHOST_EXTERN_C char* mxArrayToString(const mxArray* pa);
MXHOST_EXTERN_C char* mxArrayToUTF8String(const mxArray* pa);
MXHOST_EXTERN_C int mxGetString(const mxArray* pa, char* buf, mwSize buflen);

/* Structs. Field values of a new struct start as NULL; a container owns what is stored in it. */
MXHOST_EXTERN_C int mxGetNumberOfFields(const mxArray* pa);
MXHOST_EXTERN_C const char* mxGetFieldNameByNumber(const mxArray* pa, int n);
MXHOST_EXTERN_C int mxGetFieldNumber(const mxArray* pa, const char* name);
MXHOST_EXTERN_C mxArray* mxGetField(const mxArray* pa, mwIndex i, const char* fieldname);
MXHOST_EXTERN_C mxArray* mxGetFieldByNumber(const mxArray* pa, mwIndex i, int fieldnumber);
MXHOST_EXTERN_C void mxSetField(mxArray* pa, mwIndex i, const char* fieldname, mxArray* value);
MXHOST_EXTERN_C void mxSetFieldByNumber(mxArray* pa, mwIndex i, int fieldnumber, mxArray* value);
MXHOST_EXTERN_C int mxAddField(mxArray* pa, const char* fieldname);
MXHOST_EXTERN_C void mxRemoveField(mxArray* pa, int fieldnumber);

/* Cells. */
MXHOST_EXTERN_C mxArray* mxGetCell(const mxArray* pa, mwIndex i);
MXHOST_EXTERN_C void mxSetCell(mxArray* pa, mwIndex i, mxArray* value);

/* IEEE helpers. */
MXHOST_EXTERN_C double mxGetInf(void);
MXHOST_EXTERN_C double mxGetNaN(void);
MXHOST_EXTERN_C double mxGetEps(void);
MXHOST_EXTERN_C bool mxIsInf(double x);
MXHOST_EXTERN_C bool mxIsNaN(double x);
MXHOST_EXTERN_C bool mxIsFinite(double x);

#endif /* KX_MXHOST_MATRIX_H */
