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

Array Message(const std::string& text) {
    return Struct({{"message", Str(text)}});
}

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

// The three commands, each called with a valid payload, fail with `message`.
template <typename Base>
class AnnotationFixture : public Base {
protected:
    void ExpectEveryCommandNotConnected(const char* message) {
        EXPECT_MEX_ERROR(this->Call("annotate", Message("start")), kNotConnected, message);
        EXPECT_MEX_ERROR(this->Call("get_annotations"), kNotConnected, message);
        EXPECT_MEX_ERROR(this->Call("clear_annotations"), kNotConnected, message);
    }
    Listed List() { return ReadListed(this->Ok(this->Call("get_annotations"))); }
};

class AnnotationsTest : public AnnotationFixture<kxtest::QuickLinkGatewayTest> {
protected:
    void ConnectSola() {
        Ok(Call("connect", Struct({{"device_name", Str("SIM SOLA 101")}})));
        ASSERT_TRUE(kxsim::Connected());
    }
};

TEST_F(AnnotationsTest, Annotate_BadMessage_FailsBeforeTheConnectionCheck) {
    EXPECT_MEX_ERROR(Call("annotate", Message("")), "kestrix:mex:invalidArgument",
                     "\"message\" must be a non-empty string.");
    EXPECT_MEX_ERROR(Call("annotate", Struct({{"message", Num(3)}})), "kestrix:mex:invalidArgument",
                     "\"message\" must be a non-empty string.");
    EXPECT_MEX_ERROR(Call("annotate"), "kestrix:mex:invalidArgument", "\"message\" must be a non-empty string.");
}

TEST_F(AnnotationsTest, EveryCommand_NoManagerOrLinkLost_FailsAsNotConnected) {
    ExpectEveryCommandNotConnected("No active EEG manager. Call kx_connect first.");
    ConnectSola();
    kxsim::DropLink();
    ExpectEveryCommandNotConnected("No device connected. Call kx_connect first.");
}

TEST_F(AnnotationsTest, AnnotateListClear_KeepsOrderAndSdkStamps) {
    ConnectSola();
    const Listed none = List();
    EXPECT_TRUE(none.texts.empty());

    const mxArray* answer = Ok(Call("annotate", Message("eyes closed")));
    EXPECT_EQ(mxhost::FieldNames(answer), (std::vector<std::string>{"annotated", "message"}));
    EXPECT_TRUE(B(answer, "annotated"));
    EXPECT_EQ(S(answer, "message"), "eyes closed");
    Ok(Call("annotate", Message("100% blink")));
    kxsim::AddRawAnnotation(9007199254740992ull, nullptr);  // 2^53, exact as a double

    const Listed listed = List();
    EXPECT_EQ(listed.texts, (std::vector<std::string>{"eyes closed", "100% blink", ""}));
    EXPECT_EQ(listed.stamps, (std::vector<double>{0, 0, 9007199254740992.0}));

    const mxArray* cleared = Ok(Call("clear_annotations"));
    EXPECT_EQ(mxhost::FieldNames(cleared), std::vector<std::string>{"cleared"});
    EXPECT_TRUE(B(cleared, "cleared"));
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_clear_annotations"), 1);
    EXPECT_TRUE(List().texts.empty());
}

TEST_F(AnnotationsTest, Annotate_WhileStreaming_CarriesTheSdkSampleIndex) {
    kxsim::SetManualStream(true);
    ConnectSola();
    Ok(Call("start_stream"));
    ASSERT_TRUE(kxsim::EmitChunks(3));  // 25 samples each
    Ok(Call("annotate", Message("stimulus")));
    Ok(Call("stop_stream"));
    const Listed listed = List();
    EXPECT_EQ(listed.texts, std::vector<std::string>{"stimulus"});
    EXPECT_EQ(listed.stamps, std::vector<double>{75});
}

TEST_F(AnnotationsTest, Annotate_SdkStatus_FailsAndStoresNothing) {
    ConnectSola();
    kxsim::ScriptStatus("kx_eeg_manager_annotate", KX_ERROR_ANNOTATION_UNAVAILABLE_CALIBRATING);
    EXPECT_MEX_ERROR(Call("annotate", Message("early")), "kestrix:sdk:annotationUnavailableCalibrating",
                     "kx_eeg_manager_annotate failed with status KX_ERROR_ANNOTATION_UNAVAILABLE_CALIBRATING.");
    EXPECT_TRUE(List().texts.empty());
}

TEST_F(AnnotationsTest, EveryCommand_SdkThrows_FailsAsNativeException) {
    ConnectSola();
    kxsim::ScriptThrow("kx_eeg_manager_annotate", "busy");
    EXPECT_MEX_ERROR(Call("annotate", Message("x")), kNativeException,
                     "kx_eeg_manager_annotate threw native exception: busy");
    kxsim::ScriptThrow("kx_eeg_manager_get_annotations", "busy");
    EXPECT_MEX_ERROR(Call("get_annotations"), kNativeException,
                     "kx_eeg_manager_get_annotations threw native exception: busy");
    kxsim::ScriptThrowUnknown("kx_eeg_manager_clear_annotations");
    EXPECT_MEX_ERROR(Call("clear_annotations"), kNativeException,
                     "kx_eeg_manager_clear_annotations threw an unknown native exception.");
}

TEST_F(AnnotationsTest, GetAnnotations_NullList_AnswersEmpty) {
    ConnectSola();
    Ok(Call("annotate", Message("kept by the SDK")));
    kxsim::ScriptNull("kx_eeg_manager_get_annotations");
    EXPECT_TRUE(List().texts.empty());
}

// A count without an array was read through a null pointer.
TEST_F(AnnotationsTest, GetAnnotations_CountWithoutAnArray_FailsInsteadOfReading) {
    ConnectSola();
    kxsim::ScriptNullList("kx_eeg_manager_get_annotations", 3);
    EXPECT_MEX_ERROR(Call("get_annotations"), "kestrix:mex:runtimeError",
                     "kx_eeg_manager_get_annotations returned null.");
}

// ---- mock backend ----------------------------------------------------------

class MockAnnotationsTest : public AnnotationFixture<kxtest::MockGatewayTest> {
protected:
    void ConnectMock() { Ok(Call("connect", Struct({{"device_name", Str("MOCK SOLA 001")}}))); }
    // Reads chunks until `chunks` have arrived in total; returns that total.
    double ReadChunks(double chunks) {
        const Array wait = Struct({{"timeout_ms", Num(5000)}});
        double total = 0;
        for (int reads = 0; total < chunks && reads < 50; ++reads) {
            total += D(mxhost::Field(Ok(Call("read_chunk", wait)), "meta"), "chunk_count");
        }
        return total;
    }
};

TEST_F(MockAnnotationsTest, EveryCommand_NoMockDevice_FailsAndStoresNothing) {
    ExpectEveryCommandNotConnected("No device connected. Call kx_connect first.");
    ConnectMock();
    EXPECT_TRUE(List().texts.empty());
}

TEST_F(MockAnnotationsTest, Stamps_AreTheMockSampleIndex_AndSurviveStopAndReconnect) {
    ConnectMock();
    Ok(Call("annotate", Message("before")));
    // One 25-sample chunk a second, so the index stays put well after a read.
    Ok(Call("set_sample_rate", Struct({{"rate_hz", Num(25)}})));
    Ok(Call("start_stream"));
    ASSERT_EQ(ReadChunks(3), 3.0);
    Ok(Call("annotate", Message("after three chunks")));
    Ok(Call("stop_stream"));

    Ok(Call("start_stream"));
    ASSERT_EQ(ReadChunks(1), 1.0);
    Ok(Call("annotate", Message("restarted")));
    Ok(Call("stop_stream"));
    // Disconnecting keeps the list; connecting starts the index again.
    Ok(Call("disconnect"));
    ConnectMock();
    Ok(Call("annotate", Message("reconnected")));

    const Listed listed = List();
    EXPECT_EQ(listed.texts, (std::vector<std::string>{"before", "after three chunks", "restarted", "reconnected"}));
    EXPECT_EQ(listed.stamps, (std::vector<double>{0, 75, 25, 0}));

    EXPECT_TRUE(B(Ok(Call("clear_annotations")), "cleared"));
    EXPECT_TRUE(List().texts.empty());
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_annotate"), 0);
}

}  // namespace
