// Semantics of the mx* API itself, used directly from the test thread.
#include <cstring>

#include "gtest_mex.h"

using namespace mxhost;

namespace {

class HostTest : public ::testing::Test {
protected:
    void SetUp() override { ClearViolations(); }
};

struct ClassCase {
    mxClassID cls;
    const char* name;
    bool numeric;
};

const ClassCase kClasses[] = {
    {mxDOUBLE_CLASS, "double", true}, {mxSINGLE_CLASS, "single", true},    {mxINT8_CLASS, "int8", true},
    {mxUINT8_CLASS, "uint8", true},   {mxINT16_CLASS, "int16", true},      {mxUINT16_CLASS, "uint16", true},
    {mxINT32_CLASS, "int32", true},   {mxUINT32_CLASS, "uint32", true},    {mxINT64_CLASS, "int64", true},
    {mxUINT64_CLASS, "uint64", true}, {mxLOGICAL_CLASS, "logical", false}, {mxCHAR_CLASS, "char", false},
    {mxCELL_CLASS, "cell", false},    {mxSTRUCT_CLASS, "struct", false},
};

}  // namespace

TEST_F(HostTest, EmptyArrays_EveryClass_AreZeroByZeroWithNoDataAndScalarZero) {
    for (const auto& c : kClasses) {
        SCOPED_TRACE(c.name);
        Array a = Empty(c.cls);
        EXPECT_EQ(mxGetClassID(a), c.cls);
        EXPECT_STREQ(mxGetClassName(a), c.name);
        EXPECT_TRUE(mxIsClass(a, c.name));
        EXPECT_EQ(mxIsNumeric(a), c.numeric);
        EXPECT_EQ(mxIsChar(a), c.cls == mxCHAR_CLASS);
        EXPECT_TRUE(mxIsEmpty(a));
        EXPECT_EQ(Dims(a), (std::vector<size_t>{0, 0}));
        EXPECT_EQ(mxGetData(a), nullptr);
        EXPECT_EQ(mxGetScalar(a), 0.0);
    }
    EXPECT_NO_MEX_VIOLATIONS();
}

TEST_F(HostTest, StringScalar_IsItsOwnNonCharClass) {
    Array s = StringScalar("hello");
    EXPECT_FALSE(mxIsChar(s));
    EXPECT_FALSE(mxIsNumeric(s));
    EXPECT_FALSE(mxIsEmpty(s));
    EXPECT_STREQ(mxGetClassName(s), "string");
    EXPECT_TRUE(mxIsClass(s, "string"));
    EXPECT_EQ(mxArrayToString(s), nullptr);
    EXPECT_EQ(AsString(s), "hello");
    EXPECT_EQ(Describe(s), "\"hello\"");
}

TEST_F(HostTest, GetScalar_NumericLogicalAndChar_ReturnsFirstElementAsDouble) {
    EXPECT_EQ(mxGetScalar(Int(mxINT8_CLASS, -5)), -5.0);
    EXPECT_EQ(mxGetScalar(Int(mxUINT8_CLASS, 250)), 250.0);
    EXPECT_EQ(mxGetScalar(Int(mxSINGLE_CLASS, 2.5)), 2.5);
    EXPECT_EQ(mxGetScalar(Int(mxINT64_CLASS, -4e15)), -4e15);
    EXPECT_EQ(mxGetScalar(Logical(true)), 1.0);
    EXPECT_EQ(mxGetScalar(Str("A")), 65.0);
    EXPECT_EQ(mxGetScalar(Matrix(1, 2, {7, 8})), 7.0);
}

TEST_F(HostTest, ComplexArrays_InterleaveTheirPartsAndHaveNoTypedRealAccess) {
    Array a(mxCreateNumericMatrix(1, 2, mxINT16_CLASS, mxCOMPLEX));
    EXPECT_TRUE(mxIsComplex(a));
    EXPECT_TRUE(mxIsNumeric(a));
    EXPECT_EQ(mxGetElementSize(a), 4u);
    int16_t parts[4] = {7, -1, 9, 3};  // 7-1i, 9+3i
    std::memcpy(mxGetData(a), parts, sizeof parts);
    EXPECT_EQ(mxGetScalar(a), 7.0);
    EXPECT_EQ(mxGetInt16s(a), nullptr);
    Array copy(mxDuplicateArray(a));
    EXPECT_TRUE(mxIsComplex(copy));
    EXPECT_EQ(std::memcmp(mxGetData(copy), parts, sizeof parts), 0);
    EXPECT_FALSE(mxIsComplex(Num(1)));
    EXPECT_NO_MEX_VIOLATIONS();
}

TEST_F(HostTest, CreateString_RoundTripsUtf8AndEmptyIsZeroByZero) {
    Array empty = Str("");
    EXPECT_TRUE(mxIsChar(empty));
    EXPECT_EQ(Dims(empty), (std::vector<size_t>{0, 0}));

    Array text =
        Str("Gr\xC3\xBC\xC3\x9F"
            "e \xF0\x9F\x98\x80");  // 2-byte chars and a surrogate pair
    EXPECT_EQ(Dims(text), (std::vector<size_t>{1, 8}));
    char* copy = mxArrayToString(text);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy,
                 "Gr\xC3\xBC\xC3\x9F"
                 "e \xF0\x9F\x98\x80");
    mxFree(copy);

    char small[4];
    EXPECT_EQ(mxGetString(Str("abcdef"), small, sizeof small), 1);
    EXPECT_STREQ(small, "abc");
    EXPECT_EQ(mxArrayToString(Num(1)), nullptr);
    EXPECT_NO_MEX_VIOLATIONS();
}

TEST_F(HostTest, CharMatrixFromStrings_PadsRowsColumnMajor) {
    const char* rows[] = {"ab", "cde"};
    Array m(mxCreateCharMatrixFromStrings(2, rows));
    EXPECT_EQ(Dims(m), (std::vector<size_t>{2, 3}));
    const mxChar* c = mxGetChars(m);
    EXPECT_EQ(std::u16string(c, c + 6), u"acbd e");
}

TEST_F(HostTest, NumericArray_TrailingSingletonDims_AreDropped) {
    const mwSize dims[] = {2, 3, 1, 1};
    Array a(mxCreateNumericArray(4, dims, mxUINT16_CLASS, mxREAL));
    EXPECT_EQ(mxGetNumberOfDimensions(a), 2u);
    EXPECT_EQ(mxGetN(a), 3u);
    EXPECT_NE(mxGetUint16s(a), nullptr);
    EXPECT_EQ(mxGetDoubles(a), nullptr);  // typed accessors check the class
}

TEST_F(HostTest, Struct_FieldsStartNullKeepOrderAndMissingLookupsReturnNull) {
    const char* names[] = {"zeta", "alpha"};
    Array s(mxCreateStructMatrix(1, 2, 2, names));
    EXPECT_EQ(mxGetField(s, 0, "zeta"), nullptr);
    mxSetField(s.get(), 1, "alpha", mxCreateDoubleScalar(3));
    EXPECT_EQ(mxGetScalar(mxGetField(s, 1, "alpha")), 3.0);
    EXPECT_EQ(mxGetField(s, 0, "nope"), nullptr);
    EXPECT_EQ(mxGetField(s, 2, "alpha"), nullptr);
    EXPECT_EQ(mxGetField(Num(1), 0, "alpha"), nullptr);
    EXPECT_EQ(mxAddField(s.get(), "mid"), 2);
    EXPECT_EQ(FieldNames(s), (std::vector<std::string>{"zeta", "alpha", "mid"}));
    EXPECT_EQ(mxGetScalar(mxGetField(s, 1, "alpha")), 3.0);  // survives the relayout
    EXPECT_STREQ(mxGetFieldNameByNumber(s, 0), "zeta");
    EXPECT_EQ(mxGetFieldNameByNumber(s, 3), nullptr);
    EXPECT_THROW(Field(s, "nope"), std::runtime_error);
    EXPECT_NO_MEX_VIOLATIONS();
}

TEST_F(HostTest, DuplicateArray_DeepCopiesNestedValues) {
    Array original = Struct({{"list", Cell({Num(1), Str("x")})}, {"flag", Logical(false)}});
    Array copy(mxDuplicateArray(original));
    mxSetCell(mxGetField(original, 0, "list"), 0, mxCreateDoubleScalar(9));  // old value is now orphaned
    EXPECT_EQ(Describe(copy), "struct {list: cell 1x2 {1, 'x'}, flag: false}");
    EXPECT_NO_MEX_VIOLATIONS();
}

TEST_F(HostTest, Ownership_ContractBreaches_AreRecordedWithoutCorruptingState) {
    Array cell(mxCreateCellMatrix(1, 2));
    mxArray* v = mxCreateDoubleScalar(1);
    mxSetCell(cell.get(), 0, v);
    mxSetCell(cell.get(), 1, v);  // second owner refused
    mxDestroyArray(v);            // contained: refused
    double local = 0;
    mxFree(&local);  // foreign pointer
    EXPECT_EQ(mxGetCell(cell, 1), nullptr);
    EXPECT_EQ(mxGetCell(cell, 0), v);
    const auto violations = Violations();
    ASSERT_EQ(violations.size(), 3u);
    EXPECT_NE(violations[0].find("mxSetCell: value is already stored"), std::string::npos) << violations[0];
    EXPECT_NE(violations[1].find("mxDestroyArray: array is stored inside a cell"), std::string::npos);
    EXPECT_NE(violations[2].find("mxFree: pointer was not allocated"), std::string::npos);
}
