// kx_edf_mex through the substitute MATLAB host: what it writes reads back
// (through its 'read', which takes the scale from the header text), a
// copy taken while a file is written is a valid file that already holds the
// annotations made, and its errors leave nothing behind.
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "gtest_mex.h"

namespace {

using mxhost::Array;
using mxhost::AsDouble;
using mxhost::AsString;
using mxhost::CallResult;
using mxhost::Cell;
using mxhost::Field;
using mxhost::Matrix;
using mxhost::Num;
using mxhost::Str;
using mxhost::Struct;

std::vector<double> Row(const mxArray* array) {
    const double* p = mxGetDoubles(array);
    return std::vector<double>(p, p + mxGetNumberOfElements(array));
}

// Row r of a matrix.
std::vector<double> RowOf(const mxArray* matrix, size_t r) {
    std::vector<double> out;
    for (size_t i = 0; i < mxGetN(matrix); ++i) out.push_back(mxGetDoubles(matrix)[r + i * mxGetM(matrix)]);
    return out;
}

std::vector<std::string> Texts(const mxArray* cell) {
    std::vector<std::string> out;
    for (size_t k = 0; k < mxGetNumberOfElements(cell); ++k) out.push_back(AsString(mxGetCell(cell, k)));
    return out;
}

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class EdfMexTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kx_edf_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        mex_.ForceClear();
        EXPECT_NO_MEX_VIOLATIONS();
        mxhost::ClearViolations();
        for (const std::string& name : created_) std::remove(name.c_str());
        rmdir(dir_.c_str());
    }

    std::string PathOf(const std::string& name) {
        created_.push_back(dir_ + "/" + name);
        return created_.back();
    }

    // total: the samples the file will hold (INFINITY: not known).
    static Array Header(const char* type, double total, double low, double high, int channels = 2, double rate = 250) {
        Array labels(mxCreateCellMatrix(1, channels));
        for (int c = 0; c < channels; ++c)
            mxSetCell(labels.get(), c, mxCreateString(("EEG " + std::to_string(c)).c_str()));
        return Struct({{"type", Str(type)},
                       {"labels", std::move(labels)},
                       {"unit", Str("uV")},
                       {"sample_rate", Num(rate)},
                       {"total_samples", Num(total)},
                       {"physical_min", Num(low)},
                       {"physical_max", Num(high)},
                       {"start_time", Num(1.7e9 + 0.25)},
                       {"equipment", Str("SIM SOLA 101")}});
    }

    double Open(const std::string& path, const mxArray* header) {
        CallResult r = mex_.Call(1, {Str("open"), Str(path), header});
        EXPECT_MEX_OK(r);
        EXPECT_NO_MEX_LEAKS(r);
        return r.ok ? AsDouble(r.value) : -1;
    }

    CallResult Write(double handle, size_t channels, const std::vector<double>& column_major) {
        return mex_.Call(1,
                         {Str("write"), Num(handle), Matrix(channels, column_major.size() / channels, column_major)});
    }

    // With a start_time when start is finite.
    static Array Annotations(const std::vector<double>& onsets, const std::vector<std::string>& texts,
                             double start = NAN) {
        Array text_cell(mxCreateCellMatrix(1, texts.size()));
        for (size_t k = 0; k < texts.size(); ++k) mxSetCell(text_cell.get(), k, mxCreateString(texts[k].c_str()));
        Array s = Struct({{"onset", Matrix(1, onsets.size(), onsets)}, {"text", std::move(text_cell)}});
        if (std::isfinite(start))
            mxSetFieldByNumber(s.get(), 0, mxAddField(s.get(), "start_time"), Num(start).release());
        return s;
    }

    CallResult Close(double handle, const std::vector<double>& onsets = {},
                     const std::vector<std::string>& texts = {}) {
        return mex_.Call(1, {Str("close"), Num(handle), Annotations(onsets, texts)});
    }

    CallResult Annotate(double handle, const std::vector<double>& onsets, const std::vector<std::string>& texts) {
        return mex_.Call(1, {Str("annotate"), Num(handle), Annotations(onsets, texts)});
    }

    CallResult Read(const std::string& path) { return mex_.Call(1, {Str("read"), Str(path)}); }

    mxhost::MexModule mex_{KX_EDF_MEX};
    std::string dir_;
    std::vector<std::string> created_;
};

// Channel c of sample i, column-major for a channels x n block starting at first.
std::vector<double> Block(size_t channels, size_t first, size_t n) {
    std::vector<double> out;
    for (size_t i = first; i < first + n; ++i)
        for (size_t c = 0; c < channels; ++c) out.push_back(100.0 * std::sin(0.01 * i * (c + 1)) + 3.0 * c);
    return out;
}

TEST_F(EdfMexTest, WriteInOddBlocks_ReadsBackWithinHalfAStepWithLabelsAndSortedAnnotations) {
    const std::string path = PathOf("blocks.bdf");
    const double h = Open(path, Header("bdf", 1000, -200, 200));
    for (size_t first = 0; first < 1000; first += 37) {
        CallResult r = Write(h, 2, Block(2, first, std::min<size_t>(37, 1000 - first)));
        ASSERT_MEX_OK(r);
        EXPECT_NO_MEX_LEAKS(r);
    }
    CallResult closed = Close(h, {2.0, 0.5}, {"second", "first"});
    ASSERT_MEX_OK(closed);
    EXPECT_EQ(AsDouble(Field(closed.value, "records")), 4);
    EXPECT_EQ(AsDouble(Field(closed.value, "padded_samples")), 0);
    EXPECT_EQ(AsDouble(Field(closed.value, "annotations_written")), 2);

    CallResult f = Read(path);
    ASSERT_MEX_OK(f);
    EXPECT_NO_MEX_LEAKS(f);
    EXPECT_EQ(AsString(Field(f.value, "file_type")), "BDF+");
    EXPECT_EQ(Texts(Field(f.value, "labels")), (std::vector<std::string>{"EEG 0", "EEG 1"}));
    EXPECT_EQ(Texts(Field(f.value, "annotation_texts")), (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(Row(Field(f.value, "annotation_onsets")), (std::vector<double>{0.5, 2.0}));
    EXPECT_EQ(AsString(Field(f.value, "equipment")), "SIM SOLA 101");
    EXPECT_NEAR(AsDouble(Field(f.value, "start_time")), 1.7e9 + 0.25, 1e-6);
    const double step = 400.0 / 16777215.0;
    const std::vector<double> expected = Block(2, 0, 1000);
    for (size_t c = 0; c < 2; ++c) {
        const std::vector<double> got = RowOf(Field(f.value, "data"), c);
        ASSERT_EQ(got.size(), 1000u);
        for (size_t i = 0; i < got.size(); ++i) ASSERT_LE(std::fabs(got[i] - expected[i * 2 + c]), 0.5 * step + 1e-12);
    }
}

// Regression: EDFlib prints a physical limit by cutting its decimal expansion,
// so a limit whose double lies just inside its digits was written one digit
// off, and every sample of that channel read back tens of steps off.
TEST_F(EdfMexTest, RandomRanges_HeaderStatesTheScaleTheSamplesWereConvertedWith) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> exponent(-1, 6), unit(0, 1);
    for (int trial = 0; trial < 60; ++trial) {
        const double magnitude = std::pow(10.0, exponent(random));
        const double low = -magnitude * unit(random), high = magnitude * unit(random) + 1e-3;
        const std::string path = PathOf("range" + std::to_string(trial) + (trial % 2 ? ".edf" : ".bdf"));
        const double h = Open(path, Header(trial % 2 ? "edf" : "bdf", 50, low, high, 1));
        std::vector<double> values;
        for (int i = 0; i < 50; ++i) values.push_back(low + (high - low) * i / 49.0);
        ASSERT_MEX_OK(Write(h, 1, values));
        ASSERT_MEX_OK(Close(h));
        CallResult f = Read(path);
        ASSERT_MEX_OK(f);
        const double step = (Row(Field(f.value, "physical_max"))[0] - Row(Field(f.value, "physical_min"))[0]) /
                            (Row(Field(f.value, "digital_max"))[0] - Row(Field(f.value, "digital_min"))[0]);
        const std::vector<double> got = RowOf(Field(f.value, "data"), 0);
        for (size_t i = 0; i < values.size(); ++i)
            ASSERT_LE(std::fabs(got[i] - values[i]), 0.5 * step * (1 + 1e-6)) << "range " << low << " to " << high;
    }
}

TEST_F(EdfMexTest, ValuesOutsideTheRangeAndNaN_ClippedAndCountedNeverWrapped) {
    const std::string path = PathOf("clip.edf");
    const double h = Open(path, Header("edf", 4, -10, 10, 1));
    CallResult w = Write(h, 1, {1e9, -1e9, NAN, 5});
    ASSERT_MEX_OK(w);
    EXPECT_EQ(AsDouble(Field(w.value, "clipped_samples")), 3);
    ASSERT_MEX_OK(Close(h));
    const std::vector<double> got = RowOf(Field(Read(path).value, "data"), 0);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_NEAR(got[0], 10, 1e-3);
    EXPECT_NEAR(got[1], -10, 1e-3);
    EXPECT_NEAR(got[2], 0, 1e-3);
    EXPECT_NEAR(got[3], 5, 1e-3);
}

TEST_F(EdfMexTest, PartialLastRecord_PaddedAndMarkedWhereTheSamplesEnd) {
    const std::string path = PathOf("padded.bdf");
    const double h = Open(path, Header("bdf", INFINITY, -200, 200));
    ASSERT_MEX_OK(Write(h, 2, Block(2, 0, 300)));
    CallResult closed = Close(h, {0.1}, {"a"});
    ASSERT_MEX_OK(closed);
    EXPECT_EQ(AsDouble(Field(closed.value, "samples")), 300);
    EXPECT_EQ(AsDouble(Field(closed.value, "padded_samples")), 200);
    CallResult f = Read(path);
    EXPECT_EQ(AsDouble(Field(f.value, "records")), 2);
    EXPECT_EQ(Texts(Field(f.value, "annotation_texts")), (std::vector<std::string>{"a", "Recording ends"}));
    EXPECT_EQ(Row(Field(f.value, "annotation_onsets"))[1], 300 / 250.0);
}

// A copy taken at any moment between records is what a crash would leave.
TEST_F(EdfMexTest, WhileWriting_HeaderCountsEveryWholeRecordAndACopyIsAValidFile) {
    const std::string path = PathOf("open.bdf"), copy = PathOf("copy.bdf");
    const double h = Open(path, Header("bdf", INFINITY, -200, 200, 2, 100));
    for (int record = 1; record <= 3; ++record) {
        ASSERT_MEX_OK(Write(h, 2, Block(2, (record - 1) * 100, 100)));
        const std::string bytes = Bytes(path);
        ASSERT_GT(bytes.size(), 244u);
        EXPECT_EQ(bytes.substr(236, 8), std::to_string(record) + std::string(8 - std::to_string(record).size(), ' '));
        WriteBytes(copy, bytes);
        CallResult f = Read(copy);
        ASSERT_MEX_OK(f);
        EXPECT_EQ(AsDouble(Field(f.value, "records")), record);
        EXPECT_FALSE(mxIsLogicalScalarTrue(Field(f.value, "cut")));
    }
    // Half a record more, cut as a crash in the middle of a record would.
    ASSERT_MEX_OK(Write(h, 2, Block(2, 300, 50)));
    WriteBytes(copy, Bytes(path) + std::string(700, '\0'));
    CallResult f = Read(copy);
    ASSERT_MEX_OK(f);
    EXPECT_TRUE(mxIsLogicalScalarTrue(Field(f.value, "cut")));
    EXPECT_EQ(AsDouble(Field(f.value, "records")), 3);
    EXPECT_EQ(mxGetN(Field(f.value, "data")), 300u);
    ASSERT_MEX_OK(Close(h));
}

TEST_F(EdfMexTest, AnnotationsBeyondTheRoomAndLongTexts_CountedAndCutAtACharacterBoundary) {
    const std::string path = PathOf("notes.edf");
    const double h = Open(path, Header("edf", 500, -200, 200));  // 2 records, one annotation signal each
    ASSERT_MEX_OK(Write(h, 2, Block(2, 0, 500)));
    const std::string long_text = std::string(39, 'a') + "\xC3\xA9" + "xyz";  // e-acute across byte 40
    std::vector<double> onsets{0.1};
    std::vector<std::string> texts{long_text};
    for (int k = 0; k < 30; ++k) onsets.push_back(1.5), texts.push_back("note " + std::to_string(k));
    CallResult closed = Close(h, onsets, texts);
    ASSERT_MEX_OK(closed);
    const double written = AsDouble(Field(closed.value, "annotations_written"));
    EXPECT_GT(written, 2);  // short texts share a signal
    EXPECT_EQ(written + AsDouble(Field(closed.value, "annotations_not_written")), 31);
    EXPECT_EQ(AsDouble(Field(closed.value, "annotations_shortened")), 1);
    const std::vector<std::string> read = Texts(Field(Read(path).value, "annotation_texts"));
    ASSERT_EQ(read.size(), written);
    EXPECT_EQ(read[0], std::string(39, 'a'));
}

TEST_F(EdfMexTest, WriterNeverGivenData_LeavesNoFile) {
    const std::string path = PathOf("empty.bdf");
    const double h = Open(path, Header("bdf", INFINITY, -1, 1));
    CallResult closed = Close(h);
    ASSERT_MEX_OK(closed);
    EXPECT_EQ(AsDouble(Field(closed.value, "records")), 0);
    EXPECT_NE(access(path.c_str(), F_OK), 0);
}

TEST_F(EdfMexTest, ClearedWhileWriting_ClosesTheFileWithWhatItHad) {
    const std::string path = PathOf("cleared.bdf");
    const double h = Open(path, Header("bdf", INFINITY, -200, 200));
    ASSERT_MEX_OK(Write(h, 2, Block(2, 0, 400)));
    EXPECT_TRUE(mex_.Clear());
    CallResult f = Read(path);
    ASSERT_MEX_OK(f);
    EXPECT_EQ(AsDouble(Field(f.value, "records")), 2);
    EXPECT_EQ(Texts(Field(f.value, "annotation_texts")), (std::vector<std::string>{"Recording ends"}));
}

TEST_F(EdfMexTest, BadCalls_RaiseTheirErrorAndLeaveNothingBehind) {
    const std::string path = PathOf("bad.bdf");
    std::vector<CallResult> calls;
    // Handles that were never given out, including numbers no int can hold.
    for (const double handle : {42.0, 0.0, -1.0, 1.5, 1e20, -1e20, 4294967297.0}) {
        calls.push_back(mex_.Call(1, {Str("close"), Num(handle), Num(0)}));
        EXPECT_MEX_ERROR(calls.back(), "kestrix:file:notOpen", "No file is open under this handle.");
        calls.push_back(mex_.Call(1, {Str("write"), Num(handle), Num(0)}));
        EXPECT_MEX_ERROR(calls.back(), "kestrix:file:notOpen", "No file is open under this handle.");
    }
    calls.push_back(mex_.Call(1, {Str("append")}));
    EXPECT_MEX_ERROR(calls.back(), "kestrix:file:unsupportedCommand", "Unsupported command: append.");
    calls.push_back(mex_.Call(1, {Str("read")}));
    EXPECT_MEX_ERROR(calls.back(), "kestrix:file:invalidArgument",
                     "'read' takes a path and optionally a struct of options.");
    calls.push_back(mex_.Call(1, {Num(1)}));
    EXPECT_MEX_ERROR(calls.back(), "kestrix:file:invalidArgument",
                     "The first argument must be a command: 'open', 'write', 'annotate', 'close' or 'read'.");
    calls.push_back(mex_.Call(1, {Str("open"), Str(path), Header("gdf", 250, -1, 1)}));
    EXPECT_MEX_ERROR(calls.back(), "kestrix:file:invalidArgument", "\"type\" must be 'bdf' or 'edf'.");
    calls.push_back(mex_.Call(1, {Str("open"), Str(path), Header("bdf", 250, 1, 1)}));
    EXPECT_MEX_ERROR(calls.back(), "kestrix:file:invalidArgument", "\"physical_min\" must be below \"physical_max\".");
    for (const double start : {1e300, -1e300, 1e10, 0.0, 4e9}) {
        Array header = Header("bdf", 250, -1, 1);
        mxArray* const replaced = mxGetField(header.get(), 0, "start_time");
        mxSetField(header.get(), 0, "start_time", mxCreateDoubleScalar(start));
        mxDestroyArray(replaced);
        calls.push_back(mex_.Call(1, {Str("open"), Str(path), header.get()}));
        EXPECT_MEX_ERROR(calls.back(), "kestrix:file:invalidArgument",
                         "\"start_time\" must lie between 1985 and 2084.");
    }
    calls.push_back(mex_.Call(1, {Str("open"), Str(dir_ + "/none/x.bdf"), Header("bdf", 250, -1, 1)}));
    EXPECT_MEX_ERROR(
        calls.back(), "kestrix:file:openFailed",
        "Cannot write " + dir_ + "/none/x.bdf: the file cannot be opened (no such folder or no permission).");
    const std::string garbage = PathOf("garbage.edf");
    WriteBytes(garbage, std::string(600, 'x'));
    calls.push_back(Read(garbage));
    EXPECT_MEX_ERROR(calls.back(), "kestrix:file:readFailed",
                     "Cannot read " + garbage + ": its \"version\" is \"xxxxxxxx\": it is neither an EDF nor a BDF file.");
    const double h = Open(path, Header("bdf", 250, -1, 1));
    calls.push_back(Write(h, 3, std::vector<double>(9, 0.0)));
    EXPECT_MEX_ERROR(calls.back(), "kestrix:file:invalidArgument", "The data must have one row per channel (2).");
    calls.push_back(Close(h, {-1.0}, {"early"}));
    EXPECT_MEX_ERROR(calls.back(), "kestrix:file:invalidArgument",
                     "Annotation onsets must be finite and not negative.");
    calls.push_back(Annotate(h, {2e9}, {"late"}));
    EXPECT_MEX_ERROR(calls.back(), "kestrix:file:invalidArgument", "Annotation onsets must lie from 0 to 1e9 s.");
    calls.push_back(mex_.Call(1, {Str("close"), Num(h), Annotations({}, {}, 1.7e9 + 12)}));
    EXPECT_MEX_ERROR(calls.back(), "kestrix:file:invalidArgument",
                     "The first sample must lie within 10 s of the file's start time.");
    for (const CallResult& r : calls) EXPECT_NO_MEX_LEAKS(r);
    EXPECT_MEX_OK(Close(h));  // a refused close leaves the file open and closable
}

TEST_F(EdfMexTest, RecordSizes_ChosenFromTheTotalSoThatTheFileHoldsItExactly) {
    struct Case { double rate, total, records, padded; };
    const Case cases[] = {{250, 1000, 4, 0}, {500, 1237, 3, 263},  // a prime: 1 s records, padded
                          {250, 4, 1, 0},    {250, 300, 2, 0},     // 150 samples (0.6 s)
                          {16000, 3, 1, 15997}, {250, INFINITY, 2, 200}};
    for (const Case& c : cases) {
        const double h =
            Open(PathOf("size" + std::to_string(&c - cases) + ".bdf"), Header("bdf", c.total, -1, 1, 1, c.rate));
        ASSERT_MEX_OK(Write(h, 1, std::vector<double>(std::isinf(c.total) ? 300 : static_cast<size_t>(c.total), 0.0)));
        CallResult closed = Close(h);
        EXPECT_EQ(Row(Field(closed.value, "records"))[0] * 1e6 + Row(Field(closed.value, "padded_samples"))[0],
                  c.records * 1e6 + c.padded) << c.rate << " Hz, " << c.total;
    }
}

// The first record starts on a whole second ("+0"), the header holds that
// second and the word with the rest; closing with a later estimate of the
// first sample's time rewrites the word in place.
TEST_F(EdfMexTest, StartTime_WholeSecondInTheHeaderAndTheRestInTheStartWord) {
    const time_t whole = 1700000000;
    char stated[32];
    std::strftime(stated, sizeof(stated), "%d.%m.%y%H.%M.%S", std::localtime(&whole));
    for (const char* type : {"bdf", "edf"}) {
        const std::string path = PathOf(std::string("start.") + type);
        const double h = Open(path, Header(type, 500, -200, 200));
        ASSERT_MEX_OK(Write(h, 2, Block(2, 0, 250)));
        std::string bytes = Bytes(path);
        EXPECT_NE(bytes.substr(88, 80).find(" start+0.250000 "), std::string::npos) << bytes.substr(88, 80);
        EXPECT_EQ(bytes.substr(168, 16), stated);
        EXPECT_NE(bytes.find(std::string("+0\x14\x14\0", 5)), std::string::npos);
        ASSERT_MEX_OK(Write(h, 2, Block(2, 250, 250)));
        ASSERT_MEX_OK(mex_.Call(1, {Str("close"), Num(h), Annotations({}, {}, 1.7e9 - 0.0625)}));
        bytes = Bytes(path);
        EXPECT_NE(bytes.substr(88, 80).find(" start-0.062500 "), std::string::npos) << bytes.substr(88, 80);
        CallResult back = Read(path);
        EXPECT_NEAR(AsDouble(Field(back.value, "start_time")), 1.7e9 - 0.0625, 1e-6);
        EXPECT_EQ(AsString(Field(back.value, "recording_additional")), "");
    }
}

// A copy of the file taken after each step is what a killed process leaves:
// every annotation the writer reports written is in it, and those that
// waited for room arrive with the next record.
TEST_F(EdfMexTest, AnnotateWhileWriting_EachCopyHoldsEveryAnnotationReportedWritten) {
    const std::string path = PathOf("live.bdf"), copy = PathOf("live_copy.bdf");
    const double h = Open(path, Header("bdf", INFINITY, -200, 200));  // 1 s records, one annotation signal
    std::multiset<std::pair<double, std::string>> sent;
    auto check = [&](const CallResult& status) {
        ASSERT_MEX_OK(status);
        const double written = AsDouble(Field(status.value, "annotations_written"));
        EXPECT_EQ(written + AsDouble(Field(status.value, "annotations_pending")), sent.size());
        if (AsDouble(Field(status.value, "records")) == 0) return;
        WriteBytes(copy, Bytes(path));
        CallResult f = Read(copy);
        const std::vector<double> onsets = Row(Field(f.value, "annotation_onsets"));
        const std::vector<std::string> texts = Texts(Field(f.value, "annotation_texts"));
        EXPECT_EQ(texts.size(), written);
        for (size_t k = 0; k < texts.size(); ++k) EXPECT_EQ(sent.count({onsets[k], texts[k]}), 1u) << texts[k];
    };
    auto annotate = [&](double onset, const std::string& text) {
        sent.insert({onset, text});
        check(Annotate(h, {onset}, {text}));
    };
    annotate(0.004, "before any record");
    check(Write(h, 2, Block(2, 0, 250)));
    for (int k = 0; k < 6; ++k) annotate(0.5 + 0.125 * k, "marker " + std::to_string(k) + std::string(30, '.'));
    CallResult status = Write(h, 2, Block(2, 250, 100));  // no new record: some still wait
    check(status);
    EXPECT_GT(AsDouble(Field(status.value, "annotations_pending")), 0);
    for (int record = 2; record <= 5; ++record) check(Write(h, 2, Block(2, 250 * record - 150, 250)));
    annotate(3.5, "late");
    // Closing with [] keeps them all, and marks where the samples end.
    ASSERT_MEX_OK(mex_.Call(1, {Str("close"), Num(h), Matrix(0, 0, {})}));
    std::vector<std::string> read = Texts(Field(Read(path).value, "annotation_texts")), wanted{"Recording ends"};
    for (const auto& a : sent) wanted.push_back(a.second);
    std::sort(read.begin(), read.end());
    std::sort(wanted.begin(), wanted.end());
    EXPECT_EQ(read, wanted);
}

// What 'annotate' put into the file gives way to the final list at close,
// in every record it touched.
TEST_F(EdfMexTest, CloseWithTheFinalList_ReplacesTheAnnotationsWrittenBefore) {
    for (const char* type : {"bdf", "edf"}) {
        const std::string path = PathOf(std::string("final.") + type);
        const double h = Open(path, Header(type, 750, -200, 200));
        ASSERT_MEX_OK(Write(h, 2, Block(2, 0, 750)));
        ASSERT_MEX_OK(Annotate(h, {0.5, 1.0, 2.9}, {"early guess", "middle", "end guess"}));
        ASSERT_MEX_OK(Close(h, {0.504, 2.896}, {"early", "end"}));
        CallResult f = Read(path);
        EXPECT_EQ(Texts(Field(f.value, "annotation_texts")), (std::vector<std::string>{"early", "end"})) << type;
        EXPECT_EQ(Row(Field(f.value, "annotation_onsets")), (std::vector<double>{0.504, 2.896})) << type;
        EXPECT_EQ(Bytes(path).find("guess"), std::string::npos) << type;
    }
}

// Regression: a full disk stopped writing with "Writing data record 13 of
// ... failed." and no word of why.
TEST_F(EdfMexTest, WriteFails_MessageNamesTheOperatingSystemsReason) {
    const std::string link = PathOf("full.bdf");
    ASSERT_EQ(symlink("/dev/full", link.c_str()), 0);
    const double h = Open(link, Header("bdf", INFINITY, -200, 200));
    CallResult failed = Write(h, 2, Block(2, 0, 250));
    EXPECT_MEX_ERROR(failed, "kestrix:file:writeFailed",
                     "Writing data record 1 of " + link + " failed: No space left on device.");
    EXPECT_MEX_ERROR(Annotate(h, {0}, {"a"}), "kestrix:file:writeFailed",
                     "An earlier write to " + link + " failed; the file ends before it.");
    EXPECT_MEX_OK(Close(h));

    // A regular file that may not grow past its third record; records larger
    // than the stream's buffer, so the write that fails is EDFlib's own.
    const std::string path = PathOf("limited.bdf");
    const double g = Open(path, Header("bdf", INFINITY, -200, 200, 8));
    struct rlimit old_limit {};
    getrlimit(RLIMIT_FSIZE, &old_limit);
    const struct rlimit limit = {2560 + 2 * 6114 + 800, old_limit.rlim_max};  // header, 2.5 records
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::vector<CallResult> writes;
    for (size_t first = 0; first < 1000; first += 250) writes.push_back(Write(g, 8, Block(8, first, 250)));
    setrlimit(RLIMIT_FSIZE, &old_limit);
    signal(SIGXFSZ, old_handler);
    EXPECT_MEX_ERROR(writes[2], "kestrix:file:writeFailed",
                     "Writing data record 3 of " + path + " failed: File too large.");
    EXPECT_MEX_OK(Close(g));
}

}  // namespace
