// kx_edf_mex: the toolbox's EDF+/BDF+ files. This file is the MEX plumbing:
// it reads MATLAB's arguments, keeps the open writers under their handles and
// builds the results; edf_writer and edf_reader do the files' work.
//
//   H = kx_edf_mex('open', PATH, HEADER)  a writer; EDFlib writes the header
//                                         with the first whole data record.
//                                         HEADER.total_samples (Inf: not
//                                         known) and .annotations (known in
//                                         advance) size the data records
//   S = kx_edf_mex('write', H, DATA)      appends a channels x samples block
//   S = kx_edf_mex('annotate', H, A)      A.onset (s from the first sample),
//                                         A.text: in the file within a record
//   R = kx_edf_mex('close', H, FINAL)     last record, close; FINAL [] keeps
//                                         the annotations written, a struct
//                                         (onset, text, optional start_time)
//                                         replaces them
//   F = kx_edf_mex('read', PATH)          a whole file, signals as rows
//
// Errors: kestrix:file:invalidArgument, kestrix:file:openFailed,
// kestrix:file:writeFailed, kestrix:file:readFailed, kestrix:file:notOpen,
// kestrix:file:unsupportedCommand. Raised once, at the entry point, after
// every C++ object of the call is gone.
#include "mex.h"

#include <cmath>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "edf_failure.h"
#include "edf_reader.h"
#include "edf_writer.h"

namespace {

using kxedf::Annotation;
using kxedf::Fail;
using kxedf::Failure;
using kxedf::Writer;
namespace id = kxedf::id;

struct MxDeleter {
    void operator()(mxArray* array) const noexcept { mxDestroyArray(array); }
};
using MxPtr = std::unique_ptr<mxArray, MxDeleter>;

MxPtr Created(mxArray* array) {
    if (array == nullptr) {
        Fail(id::kInternal, "Out of memory.");
    }
    return MxPtr(array);
}

// ---- reading MATLAB values -------------------------------------------------

std::string Text(const mxArray* value, const std::string& what) {
    if (value == nullptr || !mxIsChar(value) || (mxGetM(value) > 1)) {
        Fail(id::kInvalidArgument, what + " must be a character row.");
    }
    struct Free {
        void operator()(char* p) const noexcept { mxFree(p); }
    };
#if defined(MATLAB_MEX_FILE)
    std::unique_ptr<char, Free> converted(mxArrayToUTF8String(value));
#else
    std::unique_ptr<char, Free> converted(mxArrayToString(value));
#endif
    if (!converted) {
        Fail(id::kInvalidArgument, "Could not decode " + what + ".");
    }
    return std::string(converted.get());
}

const mxArray* Field(const mxArray* s, const char* name, bool required) {
    const mxArray* value =
        (s != nullptr && mxIsStruct(s) && mxGetNumberOfElements(s) == 1) ? mxGetField(s, 0, name) : nullptr;
    if (value == nullptr && required) {
        Fail(id::kInvalidArgument, std::string("The field \"") + name + "\" is missing.");
    }
    return value;
}

// A real double array; nullptr for an empty one.
const double* Doubles(const mxArray* value, const std::string& what) {
    if (value == nullptr || !mxIsDouble(value) || mxIsComplex(value) || mxIsSparse(value)) {
        Fail(id::kInvalidArgument, what + " must be a real double array.");
    }
    return mxIsEmpty(value) ? nullptr : mxGetDoubles(value);
}

double Scalar(const mxArray* value, const std::string& what) {
    const double* p = Doubles(value, what);
    if (p == nullptr || mxGetNumberOfElements(value) != 1 || !std::isfinite(*p)) {
        Fail(id::kInvalidArgument, what + " must be a finite scalar.");
    }
    return *p;
}

long long Integer(const mxArray* value, const std::string& what, long long low, long long high) {
    const double number = Scalar(value, what);
    if (number != std::floor(number) || number < static_cast<double>(low) || number > static_cast<double>(high)) {
        Fail(id::kInvalidArgument,
             what + " must be an integer from " + std::to_string(low) + " to " + std::to_string(high) + ".");
    }
    return static_cast<long long>(number);
}

std::string OptionalText(const mxArray* s, const char* name) {
    const mxArray* value = Field(s, name, false);
    return (value == nullptr || mxIsEmpty(value)) ? std::string() : Text(value, std::string("\"") + name + "\"");
}

// One value per channel, or one for all.
std::vector<double> PerChannel(const mxArray* s, const char* name, size_t channels) {
    const mxArray* value = Field(s, name, true);
    const double* p = Doubles(value, std::string("\"") + name + "\"");
    const size_t n = mxGetNumberOfElements(value);
    if (p == nullptr || (n != 1 && n != channels)) {
        Fail(id::kInvalidArgument, std::string("\"") + name + "\" must hold one value or one per channel.");
    }
    std::vector<double> out(channels);
    for (size_t c = 0; c < channels; ++c) {
        out[c] = p[n == 1 ? 0 : c];
        if (!std::isfinite(out[c])) {
            Fail(id::kInvalidArgument, std::string("\"") + name + "\" must be finite.");
        }
    }
    return out;
}

// ---- the header struct of 'open' --------------------------------------------

kxedf::WriterSettings SettingsFromHeader(const mxArray* header) {
    kxedf::WriterSettings settings;
    const std::string type = Text(Field(header, "type", true), "\"type\"");
    if (type != "bdf" && type != "edf") {
        Fail(id::kInvalidArgument, "\"type\" must be 'bdf' or 'edf'.");
    }
    settings.bdf = type == "bdf";
    const mxArray* labels = Field(header, "labels", true);
    if (!mxIsCell(labels) || mxIsEmpty(labels)) {
        Fail(id::kInvalidArgument, "\"labels\" must be a non-empty cell of character rows.");
    }
    const size_t channels = mxGetNumberOfElements(labels);
    for (size_t c = 0; c < channels; ++c) {
        settings.labels.push_back(Text(mxGetCell(labels, c), "a label"));
    }
    settings.sample_rate = Integer(Field(header, "sample_rate", true), "\"sample_rate\"", 1, 1000000);
    const mxArray* total = Field(header, "total_samples", false);
    const double* total_value = total != nullptr ? Doubles(total, "\"total_samples\"") : nullptr;
    if (total_value != nullptr &&
        !(mxGetNumberOfElements(total) == 1 && std::isinf(*total_value) && *total_value > 0)) {
        settings.total_samples = Integer(total, "\"total_samples\"", 0, 1000000000000000LL);
    }
    if (const mxArray* n = Field(header, "annotations", false)) {
        settings.annotations = Integer(n, "\"annotations\"", 0, 1000000000);
    }
    settings.physical_min = PerChannel(header, "physical_min", channels);
    settings.physical_max = PerChannel(header, "physical_max", channels);
    settings.start_time = Scalar(Field(header, "start_time", true), "\"start_time\"");
    settings.unit = OptionalText(header, "unit");
    settings.equipment = OptionalText(header, "equipment");
    settings.recording_additional = OptionalText(header, "recording_additional");
    settings.patient_code = OptionalText(header, "patient_code");
    settings.patient_name = OptionalText(header, "patient_name");
    return settings;
}

// ---- open files ---------------------------------------------------------------

std::map<int, std::unique_ptr<Writer>>& Writers() {
    static std::map<int, std::unique_ptr<Writer>> writers;
    return writers;
}

int g_next_handle = 1;

// The open file under the handle `value`. The number is checked to be a
// whole number within the handles' range before it is converted.
std::map<int, std::unique_ptr<Writer>>::iterator FindWriter(const mxArray* value) {
    const double number = Scalar(value, "The file handle");
    if (number != std::floor(number) || number < 1 || number >= static_cast<double>(g_next_handle)) {
        Fail(id::kNotOpen, "No file is open under this handle.");
    }
    const auto it = Writers().find(static_cast<int>(number));
    if (it == Writers().end()) {
        Fail(id::kNotOpen, "No file is open under this handle.");
    }
    return it;
}

std::vector<Annotation> ReadAnnotations(const mxArray* s) {
    std::vector<Annotation> out;
    if (s == nullptr || mxIsEmpty(s)) {
        return out;
    }
    const mxArray* onsets = Field(s, "onset", true);
    const mxArray* texts = Field(s, "text", true);
    const double* p = Doubles(onsets, "\"onset\"");
    const size_t n = mxGetNumberOfElements(onsets);
    if (!mxIsCell(texts) || mxGetNumberOfElements(texts) != n) {
        Fail(id::kInvalidArgument, "\"text\" must be a cell with one text per onset.");
    }
    for (size_t k = 0; k < n; ++k) {
        if (!(p[k] >= 0.0) || !std::isfinite(p[k])) {
            Fail(id::kInvalidArgument, "Annotation onsets must be finite and not negative.");
        }
        if (p[k] > 1e9) {
            Fail(id::kInvalidArgument, "Annotation onsets must lie from 0 to 1e9 s.");
        }
        out.push_back({p[k], Text(mxGetCell(texts, k), "An annotation text")});
        if (out.back().text.empty()) {
            Fail(id::kInvalidArgument, "Annotation texts must not be empty.");
        }
    }
    return out;
}

// The FINAL argument of 'close': [] keeps the annotations written.
Writer::Final ReadFinal(const mxArray* s) {
    Writer::Final final;
    if (s == nullptr || mxIsEmpty(s)) {
        return final;
    }
    if (!mxIsStruct(s) || mxGetNumberOfElements(s) != 1) {
        Fail(id::kInvalidArgument, "The annotations must be [] or a struct with the fields onset and text.");
    }
    final.replace = true;
    final.annotations = ReadAnnotations(s);
    if (const mxArray* start = Field(s, "start_time", false)) {
        final.has_start = true;
        final.start_time = Scalar(start, "\"start_time\"");
    }
    return final;
}

MxPtr MakeReport(const Writer::Report& r) {
    const char* names[] = {"records",
                           "samples",
                           "padded_samples",
                           "clipped_samples",
                           "annotations_written",
                           "annotations_not_written",
                           "annotations_shortened"};
    const double values[] = {static_cast<double>(r.records),  static_cast<double>(r.samples),
                             static_cast<double>(r.padded),   static_cast<double>(r.clipped),
                             static_cast<double>(r.written),  static_cast<double>(r.not_written),
                             static_cast<double>(r.shortened)};
    MxPtr s = Created(mxCreateStructMatrix(1, 1, 7, names));
    for (int k = 0; k < 7; ++k) {
        mxSetField(s.get(), 0, names[k], Created(mxCreateDoubleScalar(values[k])).release());
    }
    return s;
}

MxPtr MakeStatus(const Writer::Status& st) {
    const char* names[] = {"records",         "samples", "pending_samples", "clipped_samples", "annotations_written",
                           "annotations_pending"};
    const double values[] = {static_cast<double>(st.records),
                             static_cast<double>(st.samples),
                             static_cast<double>(st.pending),
                             static_cast<double>(st.clipped),
                             static_cast<double>(st.annotations_written),
                             static_cast<double>(st.annotations_pending)};
    MxPtr s = Created(mxCreateStructMatrix(1, 1, 6, names));
    for (int k = 0; k < 6; ++k) {
        mxSetField(s.get(), 0, names[k], Created(mxCreateDoubleScalar(values[k])).release());
    }
    return s;
}

// ---- what 'read' returns ------------------------------------------------------

MxPtr MakeText(const std::string& text) {
    return Created(mxCreateString(text.c_str()));
}

MxPtr MakeRow(const std::vector<double>& values) {
    MxPtr row = Created(mxCreateDoubleMatrix(1, values.size(), mxREAL));
    if (!values.empty()) {
        std::memcpy(mxGetDoubles(row.get()), values.data(), values.size() * sizeof(double));
    }
    return row;
}

MxPtr MakeTexts(const std::vector<std::string>& texts) {
    MxPtr cell = Created(mxCreateCellMatrix(1, texts.size()));
    for (size_t k = 0; k < texts.size(); ++k) {
        mxSetCell(cell.get(), k, MakeText(texts[k]).release());
    }
    return cell;
}

MxPtr MakeScalar(double value) {
    return Created(mxCreateDoubleScalar(value));
}

MxPtr Read(const std::string& path) {
    kxedf::FileContents f = kxedf::Read(path);
    MxPtr data = Created(mxCreateCellMatrix(1, f.data.size()));
    for (size_t s = 0; s < f.data.size(); ++s) {
        mxSetCell(data.get(), s, MakeRow(f.data[s]).release());
        std::vector<double>().swap(f.data[s]);
    }
    const char* names[] = {"file_type",         "labels",
                           "units",             "sample_rates",
                           "physical_min",      "physical_max",
                           "digital_min",       "digital_max",
                           "data",              "start_time",
                           "records",           "record_duration",
                           "annotation_onsets", "annotation_durations",
                           "annotation_texts",  "patient",
                           "recording",         "patient_code",
                           "patient_name",      "equipment",
                           "recording_additional", "cut"};
    constexpr int kFields = sizeof(names) / sizeof(names[0]);
    MxPtr out = Created(mxCreateStructMatrix(1, 1, kFields, names));
    mxSetField(out.get(), 0, "file_type", MakeText(f.file_type).release());
    mxSetField(out.get(), 0, "labels", MakeTexts(f.labels).release());
    mxSetField(out.get(), 0, "units", MakeTexts(f.units).release());
    mxSetField(out.get(), 0, "sample_rates", MakeRow(f.sample_rates).release());
    mxSetField(out.get(), 0, "physical_min", MakeRow(f.physical_min).release());
    mxSetField(out.get(), 0, "physical_max", MakeRow(f.physical_max).release());
    mxSetField(out.get(), 0, "digital_min", MakeRow(f.digital_min).release());
    mxSetField(out.get(), 0, "digital_max", MakeRow(f.digital_max).release());
    mxSetField(out.get(), 0, "data", data.release());
    mxSetField(out.get(), 0, "start_time", MakeScalar(f.start_time).release());
    mxSetField(out.get(), 0, "records", MakeScalar(static_cast<double>(f.records)).release());
    mxSetField(out.get(), 0, "record_duration", MakeScalar(f.record_duration).release());
    mxSetField(out.get(), 0, "annotation_onsets", MakeRow(f.annotation_onsets).release());
    mxSetField(out.get(), 0, "annotation_durations", MakeRow(f.annotation_durations).release());
    mxSetField(out.get(), 0, "annotation_texts", MakeTexts(f.annotation_texts).release());
    mxSetField(out.get(), 0, "patient", MakeText(f.patient).release());
    mxSetField(out.get(), 0, "recording", MakeText(f.recording).release());
    mxSetField(out.get(), 0, "patient_code", MakeText(f.patient_code).release());
    mxSetField(out.get(), 0, "patient_name", MakeText(f.patient_name).release());
    mxSetField(out.get(), 0, "equipment", MakeText(f.equipment).release());
    mxSetField(out.get(), 0, "recording_additional", MakeText(f.recording_additional).release());
    mxSetField(out.get(), 0, "cut", Created(mxCreateLogicalScalar(f.cut)).release());
    return out;
}

// ---- commands --------------------------------------------------------------

void CloseAllAtExit() {
    Writers().clear();  // each writer closes its file
}

void RegisterAtExit() {
    static bool registered = false;
    if (!registered) {
        mexAtExit(CloseAllAtExit);
        registered = true;
    }
}

void RequireArguments(int nrhs, int expected, const std::string& command) {
    if (nrhs != expected) {
        Fail(id::kInvalidArgument, "'" + command + "' takes " + std::to_string(expected - 1) + " arguments.");
    }
}

void Dispatch(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    RegisterAtExit();
    if (nrhs < 1 || !mxIsChar(prhs[0])) {
        Fail(id::kInvalidArgument,
             "The first argument must be a command: 'open', 'write', 'annotate', 'close' or 'read'.");
    }
    if (nlhs > 1) {
        Fail(id::kInvalidArgument, "At most one output.");
    }
    const std::string command = Text(prhs[0], "The command");
    MxPtr result;
    if (command == "open") {
        RequireArguments(nrhs, 3, command);
        auto writer = std::make_unique<Writer>(Text(prhs[1], "The path"), SettingsFromHeader(prhs[2]));
        const int handle = g_next_handle++;
        Writers()[handle] = std::move(writer);
        result = Created(mxCreateDoubleScalar(handle));
    } else if (command == "write") {
        RequireArguments(nrhs, 3, command);
        Writer& writer = *FindWriter(prhs[1])->second;
        const double* data = Doubles(prhs[2], "The data");
        if (data != nullptr && mxGetM(prhs[2]) != writer.channels()) {
            Fail(id::kInvalidArgument,
                 "The data must have one row per channel (" + std::to_string(writer.channels()) + ").");
        }
        if (data != nullptr) {
            writer.Append(data, mxGetN(prhs[2]));
        }
        result = MakeStatus(writer.status());
    } else if (command == "annotate") {
        RequireArguments(nrhs, 3, command);
        Writer& writer = *FindWriter(prhs[1])->second;
        writer.Annotate(ReadAnnotations(prhs[2]));
        result = MakeStatus(writer.status());
    } else if (command == "close") {
        RequireArguments(nrhs, 3, command);
        const auto it = FindWriter(prhs[1]);
        const Writer::Final final = ReadFinal(prhs[2]);
        it->second->Check(final);  // a refused close leaves the file open
        std::unique_ptr<Writer> writer = std::move(it->second);
        Writers().erase(it);
        result = MakeReport(writer->Finish(final));
    } else if (command == "read") {
        RequireArguments(nrhs, 2, command);
        result = Read(Text(prhs[1], "The path"));
    } else {
        Fail(id::kUnsupportedCommand, "Unsupported command: " + command + ".");
    }
    if (nlhs == 1) {
        plhs[0] = result.release();
    }
}

// Identifier and message of the failure being raised; they outlive the
// call's objects.
std::string g_identifier;
std::string g_message;

bool RunGuarded(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) noexcept {
    try {
        try {
            Dispatch(nlhs, plhs, nrhs, prhs);
            return false;
        } catch (const Failure& failure) {
            g_identifier = failure.identifier;
            g_message = failure.what();
        } catch (const std::exception& error) {
            g_identifier = id::kInternal;
            g_message = error.what();
        } catch (...) {
            g_identifier = id::kInternal;
            g_message = "Unknown native exception.";
        }
    } catch (...) {  // storing the message itself failed
        g_identifier.clear();
        g_message.clear();
    }
    return true;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void mexFunction(int nlhs, mxArray* plhs[], int nrhs,
                                                                   const mxArray* prhs[]) {
    if (RunGuarded(nlhs, plhs, nrhs, prhs)) {
        mexErrMsgIdAndTxt(g_identifier.empty() ? id::kInternal : g_identifier.c_str(), "%s",
                          g_message.empty() ? "Out of memory." : g_message.c_str());
    }
}

// MATLAB reads this to learn the API the file was built for: release R2025b,
// MEX API version 800 (interleaved complex), as for kx_core_mex.
extern "C" __attribute__((visibility("default"))) void mexfilerequiredapiversion(unsigned int* built_by_release,
                                                                                 unsigned int* target_api_version) {
    *built_by_release = 0x0002025B;
    *target_api_version = 0x08000000;
}
