// annotate, get_annotations and clear_annotations on the real backend
// (simulated SDK) and the mock backend.
#include "gateway_fixture.h"

#include <string>
#include <vector>

namespace {

using kxtest::B;
using kxtest::D;
using kxtest::S;
using mxhost::Array;
using mxhost::Num;
using mxhost::Str;
using mxhost::Struct;

constexpr const char* kNotConnected = "kestrix:state:notConnected";
constexpr const char* kNativeException = "kestrix:sdk:nativeException";

Array Message(const std::string& text) { return Struct({{"message", Str(text)}}); }

// The texts and stamps of a get_annotations result, checked for their shape.
struct Listed {
    std::vector<std::string> texts;
    std::vector<double> stamps;
};

Listed ReadListed(const mxArray* result) {
    EXPECT_EQ(mxhost::FieldNames(result), (std::vector<std::string>{"annotations", "timestamps"}));
    const mxArray* cell = mxhost::Field(result, "annotations");
    const mxArray* stamps = mxhost::Field(result, "timestamps");
    EXPECT_EQ(mxhost::ClassName(cell), "cell");
    EXPECT_EQ(mxhost::ClassName(stamps), "double");
    Listed listed;
    const size_t n = mxGetNumberOfElements(cell);
    EXPECT_EQ(mxhost::Dims(cell), (std::vector<size_t>{1, n}));
    EXPECT_EQ(mxhost::Dims(stamps), n == 0 ? (std::vector<size_t>{0, 0}) : (std::vector<size_t>{1, n}));
    for (size_t i = 0; i < n; ++i) {
        const mxArray* text = mxGetCell(cell, i);
        EXPECT_EQ(mxhost::ClassName(text), "char");
        listed.texts.push_back(mxGetNumberOfElements(text) == 0 ? std::string() : mxhost::AsString(text));
        listed.stamps.push_back(mxGetPr(stamps)[i]);
    }
    return listed;
}

// Keeps each call's result alive until the test ends, so the values read
// from it stay valid (a CallResult frees its value when it goes).
template <typename Base>
class KeepingResults : public Base {
protected:
    const mxArray* Value(kxtest::CallResult result) {
        kept_.push_back(std::move(result));
        return this->Ok(kept_.back());
    }
    void TearDown() override {
        kept_.clear();
        Base::TearDown();
    }

private:
    std::vector<kxtest::CallResult> kept_;
};

class AnnotationsTest : public KeepingResults<kxtest::GatewayTest> {
protected:
    void SetUp() override {
        KeepingResults::SetUp();
        kxsim::SetConnectPlan({0, 10, 10, true, -1});
    }
    void ConnectSola() {
        Value(Call("connect", Struct({{"device_name", Str("SIM SOLA 101")}})));
        ASSERT_TRUE(kxsim::Connected());
    }
    Listed List() { return ReadListed(Value(Call("get_annotations"))); }
};

TEST_F(AnnotationsTest, Annotate_BadMessage_FailsBeforeTheConnectionCheck) {
    EXPECT_MEX_FAILURE(Call("annotate", Message("")), "kestrix:mex:invalidArgument",
                       "\"message\" must be a non-empty string.");
    EXPECT_MEX_FAILURE(Call("annotate", Struct({{"message", Num(3)}})), "kestrix:mex:invalidArgument",
                       "\"message\" must be a non-empty string.");
    EXPECT_MEX_FAILURE(Call("annotate"), "kestrix:mex:invalidArgument", "\"message\" must be a non-empty string.");
}

TEST_F(AnnotationsTest, EveryCommand_NoManager_FailsAsNotConnected) {
    const char* message = "No active EEG manager. Call kx_connect first.";
    EXPECT_MEX_FAILURE(Call("annotate", Message("start")), kNotConnected, message);
    EXPECT_MEX_FAILURE(Call("get_annotations"), kNotConnected, message);
    EXPECT_MEX_FAILURE(Call("clear_annotations"), kNotConnected, message);
}

TEST_F(AnnotationsTest, EveryCommand_LinkLost_FailsAsNotConnected) {
    ConnectSola();
    kxsim::DropLink();
    const char* message = "No device connected. Call kx_connect first.";
    EXPECT_MEX_FAILURE(Call("annotate", Message("start")), kNotConnected, message);
    EXPECT_MEX_FAILURE(Call("get_annotations"), kNotConnected, message);
    EXPECT_MEX_FAILURE(Call("clear_annotations"), kNotConnected, message);
}

TEST_F(AnnotationsTest, AnnotateListClear_KeepsOrderAndSdkStamps) {
    ConnectSola();
    const Listed none = List();
    EXPECT_TRUE(none.texts.empty());

    const mxArray* answer = Value(Call("annotate", Message("eyes closed")));
    EXPECT_EQ(mxhost::FieldNames(answer), (std::vector<std::string>{"annotated", "message"}));
    EXPECT_TRUE(B(answer, "annotated"));
    EXPECT_EQ(S(answer, "message"), "eyes closed");
    Value(Call("annotate", Message("100% blink")));
    kxsim::AddRawAnnotation(9007199254740992ull, nullptr);  // 2^53, exact as a double

    const Listed listed = List();
    EXPECT_EQ(listed.texts, (std::vector<std::string>{"eyes closed", "100% blink", ""}));
    EXPECT_EQ(listed.stamps, (std::vector<double>{0, 0, 9007199254740992.0}));

    const mxArray* cleared = Value(Call("clear_annotations"));
    EXPECT_EQ(mxhost::FieldNames(cleared), std::vector<std::string>{"cleared"});
    EXPECT_TRUE(B(cleared, "cleared"));
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_clear_annotations"), 1);
    EXPECT_TRUE(List().texts.empty());
}

TEST_F(AnnotationsTest, Annotate_WhileStreaming_CarriesTheSdkSampleIndex) {
    kxsim::SetManualStream(true);
    ConnectSola();
    Value(Call("start_stream"));
    ASSERT_TRUE(kxsim::EmitChunks(3));  // 25 samples each
    Value(Call("annotate", Message("stimulus")));
    Value(Call("stop_stream"));
    const Listed listed = List();
    EXPECT_EQ(listed.texts, std::vector<std::string>{"stimulus"});
    EXPECT_EQ(listed.stamps, std::vector<double>{75});
}

TEST_F(AnnotationsTest, Annotate_SdkStatus_FailsAndStoresNothing) {
    ConnectSola();
    kxsim::ScriptStatus("kx_eeg_manager_annotate", KX_ERROR_ANNOTATION_UNAVAILABLE_CALIBRATING);
    EXPECT_MEX_FAILURE(Call("annotate", Message("early")), "kestrix:sdk:annotationUnavailableCalibrating",
                       "kx_eeg_manager_annotate failed with status KX_ERROR_ANNOTATION_UNAVAILABLE_CALIBRATING.");
    EXPECT_TRUE(List().texts.empty());
}

TEST_F(AnnotationsTest, EveryCommand_SdkThrows_FailsAsNativeException) {
    ConnectSola();
    kxsim::ScriptThrow("kx_eeg_manager_annotate", "busy");
    EXPECT_MEX_FAILURE(Call("annotate", Message("x")), kNativeException,
                       "kx_eeg_manager_annotate threw native exception: busy");
    kxsim::ScriptThrow("kx_eeg_manager_get_annotations", "busy");
    EXPECT_MEX_FAILURE(Call("get_annotations"), kNativeException,
                       "kx_eeg_manager_get_annotations threw native exception: busy");
    kxsim::ScriptThrowUnknown("kx_eeg_manager_clear_annotations");
    EXPECT_MEX_FAILURE(Call("clear_annotations"), kNativeException,
                       "kx_eeg_manager_clear_annotations threw an unknown native exception.");
}

TEST_F(AnnotationsTest, GetAnnotations_NullList_AnswersEmpty) {
    ConnectSola();
    Value(Call("annotate", Message("kept by the SDK")));
    kxsim::ScriptNull("kx_eeg_manager_get_annotations");
    EXPECT_TRUE(List().texts.empty());
}

// ---- mock backend ----------------------------------------------------------

class MockAnnotationsTest : public KeepingResults<kxtest::MockGatewayTest> {
protected:
    void ConnectMock() { Value(Call("connect", Struct({{"device_name", Str("MOCK SOLA 001")}}))); }
    Listed List() { return ReadListed(Value(Call("get_annotations"))); }
    // Reads chunks until `chunks` have arrived in total; returns that total.
    double ReadChunks(double chunks) {
        const Array wait = Struct({{"timeout_ms", Num(5000)}});
        double total = 0;
        for (int reads = 0; total < chunks && reads < 50; ++reads) {
            total += D(mxhost::Field(Value(Call("read_chunk", wait)), "meta"), "chunk_count");
        }
        return total;
    }
};

TEST_F(MockAnnotationsTest, EveryCommand_NoMockDevice_FailsAndStoresNothing) {
    const char* message = "No device connected. Call kx_connect first.";
    EXPECT_MEX_FAILURE(Call("annotate", Message("lost")), kNotConnected, message);
    EXPECT_MEX_FAILURE(Call("get_annotations"), kNotConnected, message);
    EXPECT_MEX_FAILURE(Call("clear_annotations"), kNotConnected, message);
    ConnectMock();
    EXPECT_TRUE(List().texts.empty());
}

TEST_F(MockAnnotationsTest, Stamps_AreTheMockSampleIndex_AndSurviveStop) {
    ConnectMock();
    Value(Call("annotate", Message("before")));
    // One 25-sample chunk a second, so the index stays put well after a read.
    Value(Call("set_sample_rate", Struct({{"rate_hz", Num(25)}})));
    Value(Call("start_stream"));
    ASSERT_EQ(ReadChunks(3), 3.0);
    Value(Call("annotate", Message("after three chunks")));
    Value(Call("stop_stream"));

    Value(Call("start_stream"));
    ASSERT_EQ(ReadChunks(1), 1.0);
    Value(Call("annotate", Message("restarted")));
    Value(Call("stop_stream"));

    const Listed listed = List();
    EXPECT_EQ(listed.texts, (std::vector<std::string>{"before", "after three chunks", "restarted"}));
    EXPECT_EQ(listed.stamps, (std::vector<double>{0, 75, 25}));

    EXPECT_TRUE(B(Value(Call("clear_annotations")), "cleared"));
    EXPECT_TRUE(List().texts.empty());
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_annotate"), 0);
}

}  // namespace
