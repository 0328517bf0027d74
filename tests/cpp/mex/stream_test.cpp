// start_stream, read_chunk and stop_stream through the MEX file, on the
// simulated SDK and on the mock backend.
#include "gateway_fixture.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

namespace kxtest {
namespace {

using mxhost::Field;
using mxhost::Num;
using mxhost::Str;
using mxhost::Struct;

using Clock = std::chrono::steady_clock;

constexpr const char* kHeadset = "SIM SOLA 101";  // 8 electrodes, 25 samples per packet
constexpr const char* kNoManager = "No active EEG manager. Call kx_connect first.";
constexpr const char* kNoDevice = "No device connected. Call kx_connect first.";

// Samples of one read, as a channels x samples matrix in column-major order.
struct Samples {
    std::size_t channels = 0;
    std::size_t columns = 0;
    std::vector<double> values;
    double at(std::size_t channel, std::size_t column) const { return values.at(column * channels + channel); }
};

Samples DataOf(const mxArray* read) {
    const mxArray* data = Field(read, "data");
    Samples samples;
    samples.channels = mxGetM(data);
    samples.columns = mxGetN(data);
    const double* values = mxGetDoubles(data);
    if (values != nullptr) {
        samples.values.assign(values, values + samples.channels * samples.columns);
    }
    return samples;
}

double Meta(const mxArray* read, const char* field) {
    return D(Field(read, "meta"), field);
}

class StreamFixture {
protected:
    static Array ReadPayload(double timeout_ms, bool drain = true) {
        return Struct({{"timeout_ms", Num(timeout_ms)}, {"drain", mxhost::Logical(drain)}});
    }
    static Array Capacity(double chunks) { return Struct({{"max_buffer_chunks", Num(chunks)}}); }
};

class StreamTest : public GatewayTest, protected StreamFixture {
protected:
    void Connect() {
        CallResult connect = Call("connect", Struct({{"device_name", Str(kHeadset)}}));
        ASSERT_TRUE(B(Ok(connect), "connected"));
    }

    // Reads until at least `chunks` chunks have come back or 10 s have passed,
    // concatenating their samples.
    Samples ReadChunks(std::size_t chunks, std::size_t* dropped = nullptr) {
        Samples all;
        std::size_t seen = 0;
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (seen < chunks && Clock::now() < deadline) {
            CallResult read = Call("read_chunk", ReadPayload(1000));
            const Samples part = DataOf(Ok(read));
            seen += static_cast<std::size_t>(Meta(read.value, "chunk_count"));
            if (dropped != nullptr) {
                *dropped += static_cast<std::size_t>(Meta(read.value, "dropped_chunks"));
            }
            if (part.columns > 0) {
                all.channels = part.channels;
                all.columns += part.columns;
                all.values.insert(all.values.end(), part.values.begin(), part.values.end());
            }
        }
        EXPECT_GE(seen, chunks) << "chunks did not come within 10 s";
        return all;
    }
};

class MockStreamTest : public MockGatewayTest, protected StreamFixture {
protected:
    void Connect() {
        CallResult connect = Call("connect", Struct({{"device_name", Str("MOCK SOLA 001")}}));
        ASSERT_TRUE(B(Ok(connect), "connected"));
    }
    void EnableChannel(int channel) {
        CallResult enabled = Call("set_channel_enabled", Struct({{"channel_id", Num(channel)}, {"enabled", Num(1)}}));
        Ok(enabled);
    }
};

// ---- real backend ----------------------------------------------------------

TEST_F(StreamTest, WholeRecording_DeliversTheHeadsetsSamplesInOrderAndStopsClean) {
    Connect();
    CallResult start = Call("start_stream");
    EXPECT_EQ(mxhost::FieldNames(Ok(start)), (std::vector<std::string>{"sample_frequency_hz", "started"}));
    EXPECT_EQ(D(start.value, "sample_frequency_hz"), 250);
    EXPECT_TRUE(B(start.value, "started"));
    EXPECT_TRUE(B(Ok(Call("is_streaming")), "streaming"));

    std::size_t dropped = 0;
    const Samples samples = ReadChunks(6, &dropped);
    EXPECT_EQ(dropped, 0u);
    ASSERT_EQ(samples.channels, 8u);
    // The headset's EEG-like signal, every float32 sample widened exactly.
    kxsim::EegGenerator eeg(kxsim::CurrentEegSettings(), kHeadset, 8, 250);
    std::vector<float> frame(8);
    for (std::size_t s = 0; s < samples.columns; ++s) {
        eeg.Next(frame.data());
        for (std::size_t p = 0; p < 8; ++p) {
            ASSERT_EQ(samples.at(p, s), static_cast<double>(frame[p])) << "channel " << p << " sample " << s;
        }
    }

    CallResult stop = Call("stop_stream");
    EXPECT_EQ(mxhost::FieldNames(Ok(stop)), (std::vector<std::string>{"drained_chunks", "stopped"}));
    EXPECT_TRUE(B(stop.value, "stopped"));
    EXPECT_FALSE(B(Ok(Call("is_streaming")), "streaming"));
    std::vector<std::string> registrations;
    for (const kxsim::CallRecord& call : kxsim::Calls()) {
        if (call.op == "kx_eeg_manager_set_callback_chunk") {
            registrations.push_back(call.args.substr(call.args.find(',')));
        }
    }
    EXPECT_EQ(registrations, (std::vector<std::string>{", cb, ptr", ", null, null"}));
}

// The data callback read the stream rate while start_stream was storing it, a data race.
TEST_F(StreamTest, StartStream_ChunksArriveDuringTheStart_AllBufferedWithTheStreamRate) {
    kxsim::SetManualStream(true);
    kxsim::SetStartBurst(200);
    Connect();
    Ok(Call("start_stream"));
    ASSERT_TRUE(kxsim::WaitForChunks(200, 10000));
    CallResult read = Call("read_chunk");
    EXPECT_EQ(Meta(Ok(read), "chunk_count"), 200);
    EXPECT_EQ(Meta(read.value, "sample_frequency_hz"), 250);
    EXPECT_EQ(Meta(read.value, "dropped_chunks"), 0);
}

TEST_F(StreamTest, ReadChunk_EveryChannelTypeAndNullChannel_ReachMatlabConverted) {
    kxsim::SetSignal(kxsim::SignalKind::kRamp);  // samples carry their index
    kxsim::SetChannelTypes(
        {KX_DATA_TYPE_FLOAT32, KX_DATA_TYPE_UINT8, KX_DATA_TYPE_UINT64, KX_DATA_TYPE_FLOAT64, 9, 0, 0, 0});
    kxsim::SetNullChannels({5});
    Connect();
    Ok(Call("start_stream"));
    const Samples samples = ReadChunks(2);
    ASSERT_EQ(samples.channels, 8u);
    for (std::size_t s = 0; s < samples.columns; ++s) {
        EXPECT_EQ(samples.at(0, s), kxsim::RampValue(KX_DATA_TYPE_FLOAT32, 0, s));
        EXPECT_EQ(samples.at(1, s), kxsim::RampValue(KX_DATA_TYPE_UINT8, 1, s));
        EXPECT_EQ(samples.at(2, s), kxsim::RampValue(KX_DATA_TYPE_UINT64, 2, s));
        EXPECT_EQ(samples.at(3, s), kxsim::RampValue(KX_DATA_TYPE_FLOAT64, 3, s));
        EXPECT_EQ(samples.at(4, s), 0.0) << "unknown type code";
        EXPECT_EQ(samples.at(5, s), 0.0) << "null channel";
        EXPECT_EQ(samples.at(6, s), kxsim::RampValue(KX_DATA_TYPE_FLOAT32, 6, s));
    }
}

TEST_F(StreamTest, StartStream_WithoutConnection_FailsNotConnected) {
    EXPECT_MEX_ERROR(Call("start_stream"), "kestrix:state:notConnected", kNoManager);
    Connect();
    kxsim::DropLink();
    EXPECT_MEX_ERROR(Call("start_stream"), "kestrix:state:notConnected", kNoDevice);
}

TEST_F(StreamTest, StartStream_BadCapacity_FailsBeforeTouchingTheSdk) {
    Connect();
    for (double below_one : {0.5, -3.0, 4294967296.0}) {
        SCOPED_TRACE(below_one);
        EXPECT_MEX_ERROR(Call("start_stream", Capacity(below_one)), "kestrix:mex:invalidArgument",
                         "\"max_buffer_chunks\" must be positive.");
    }
    EXPECT_MEX_ERROR(Call("start_stream", Struct({{"max_buffer_chunks", mxhost::Logical(true)}})),
                     "kestrix:mex:invalidArgument", "\"max_buffer_chunks\" must be numeric.");
    EXPECT_MEX_ERROR(Call("start_stream", Capacity(NAN)), "kestrix:mex:invalidArgument",
                     "\"max_buffer_chunks\" must be finite.");
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_start_stream"), 0);
}

TEST_F(StreamTest, StartStream_CapacityTruncated_KeepsOnlyTheNewestChunk) {
    kxsim::SetSignal(kxsim::SignalKind::kRamp);  // samples carry their index
    kxsim::SetManualStream(true);
    Connect();
    Ok(Call("start_stream", Capacity(1.9)));
    ASSERT_TRUE(kxsim::EmitChunks(3));
    CallResult read = Call("read_chunk");
    EXPECT_EQ(Meta(Ok(read), "chunk_count"), 1);
    EXPECT_EQ(Meta(read.value, "dropped_chunks"), 2);
    EXPECT_EQ(DataOf(read.value).at(0, 0), kxsim::RampValue(0, 0, 50));

    ASSERT_TRUE(kxsim::EmitChunks(2));
    for (double dropped : {1, 0}) {  // a read that does not drain reports the drop once and keeps the chunk
        CallResult peek = Call("read_chunk", ReadPayload(0, false));
        EXPECT_EQ(Meta(Ok(peek), "chunk_count"), 1);
        EXPECT_EQ(Meta(peek.value, "dropped_chunks"), dropped);
        EXPECT_EQ(DataOf(peek.value).at(0, 0), kxsim::RampValue(0, 0, 100));
    }
}

TEST_F(StreamTest, StartStream_IncompatibleStream_Refused) {
    kxsim::SetConnectPlan({2, 100, 100, true, -1});
    Connect();
    EXPECT_MEX_ERROR(Call("start_stream"), "kestrix:sdk:unsupportedDevice",
                     "Stream is incompatible. Update the firmware.");
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_start_stream"), 0);
}

TEST_F(StreamTest, StartStream_SdkStatusOrThrow_ReportedUnderTheOperationsName) {
    Connect();
    kxsim::ScriptStatus("kx_eeg_manager_start_stream", 3);
    EXPECT_MEX_ERROR(Call("start_stream"), "kestrix:sdk:wrongValue",
                     "kx_eeg_manager_start_stream failed with status KX_ERROR_WRONG_VALUE.");
    kxsim::ScriptStatus("kx_eeg_manager_start_stream", 200);
    EXPECT_MEX_ERROR(Call("start_stream"), "kestrix:sdk:error",
                     "kx_eeg_manager_start_stream failed with status KX_ERROR_UNKNOWN.");
    kxsim::ScriptThrow("kx_eeg_manager_start_stream", "radio busy");
    EXPECT_MEX_ERROR(Call("start_stream"), "kestrix:sdk:nativeException",
                     "kx_eeg_manager_start_stream threw native exception: radio busy");
    kxsim::ScriptThrowUnknown("kx_eeg_manager_set_callback_chunk");
    EXPECT_MEX_ERROR(Call("start_stream"), "kestrix:sdk:nativeException",
                     "kx_eeg_manager_set_callback_chunk threw an unknown native exception.");
    kxsim::ScriptThrow("kx_eeg_manager_get_sample_frequency", "no rate");
    EXPECT_MEX_ERROR(Call("start_stream"), "kestrix:sdk:nativeException",
                     "kx_eeg_manager_get_sample_frequency threw native exception: no rate");
    EXPECT_FALSE(B(Ok(Call("is_streaming")), "streaming"));
}

TEST_F(StreamTest, StartStream_RateCodeOutsideTable_ReportsMinusOneAndChunksCarryNoRate) {
    kxsim::SetManualStream(true);
    Connect();
    kxsim::ScriptStatus("kx_eeg_manager_get_sample_frequency", 9, -1);
    CallResult start = Call("start_stream");
    EXPECT_EQ(D(Ok(start), "sample_frequency_hz"), -1);
    ASSERT_TRUE(kxsim::EmitChunks(1));
    CallResult read = Call("read_chunk");
    EXPECT_TRUE(Meta(Ok(read), "available"));
    EXPECT_EQ(mxhost::Dims(Field(Field(read.value, "meta"), "sample_frequency_hz")), (std::vector<size_t>{0, 0}));
}

TEST_F(StreamTest, StopStream_WithoutManager_FailsNotConnected) {
    EXPECT_MEX_ERROR(Call("stop_stream"), "kestrix:state:notConnected", kNoManager);
}

TEST_F(StreamTest, StopStream_WhenNothingStreams_UnregistersAndReportsNotStopped) {
    Connect();
    kxsim::ClearCalls();
    CallResult stop = Call("stop_stream");
    EXPECT_FALSE(B(Ok(stop), "stopped"));
    EXPECT_EQ(D(stop.value, "drained_chunks"), 0);
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_stop_stream"), 0);
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_set_callback_chunk"), 1);
}

TEST_F(StreamTest, StopStream_AfterTheLinkDropped_DrainsWhatIsBufferedWithoutStopping) {
    kxsim::SetManualStream(true);
    Connect();
    Ok(Call("start_stream"));
    ASSERT_TRUE(kxsim::EmitChunks(2));
    kxsim::DropLink();
    CallResult stop = Call("stop_stream");
    EXPECT_FALSE(B(Ok(stop), "stopped"));
    EXPECT_EQ(D(stop.value, "drained_chunks"), 2);
    EXPECT_EQ(kxsim::CountCalls("kx_eeg_manager_stop_stream"), 0);
    EXPECT_FALSE(Meta(Ok(Call("read_chunk")), "available"));
}

TEST_F(StreamTest, StopStream_SdkStatusOrThrow_LeavesTheStreamRunning) {
    kxsim::SetManualStream(true);
    Connect();
    Ok(Call("start_stream"));
    kxsim::ScriptStatus("kx_eeg_manager_stop_stream", 1);
    EXPECT_MEX_ERROR(Call("stop_stream"), "kestrix:sdk:connection",
                     "kx_eeg_manager_stop_stream failed with status KX_ERROR_CONNECTION.");
    kxsim::ScriptThrow("kx_eeg_manager_stop_stream", "stuck");
    EXPECT_MEX_ERROR(Call("stop_stream"), "kestrix:sdk:nativeException",
                     "kx_eeg_manager_stop_stream threw native exception: stuck");
    ASSERT_TRUE(kxsim::EmitChunks(2)) << "the callback stays registered after a failed stop";
    CallResult stop = Call("stop_stream");
    EXPECT_TRUE(B(Ok(stop), "stopped"));
    EXPECT_EQ(D(stop.value, "drained_chunks"), 2);
}

TEST_F(StreamTest, ReadChunk_WithoutChunks_AnswersEveryFieldEmpty) {
    const auto start = Clock::now();
    CallResult read = Call("read_chunk", ReadPayload(0.9));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(mxhost::FieldNames(Ok(read)), (std::vector<std::string>{"data", "meta"}));
    const mxArray* meta = Field(read.value, "meta");
    EXPECT_EQ(mxhost::FieldNames(meta),
              (std::vector<std::string>{"available", "channel_count", "chunk_count", "chunk_sizes", "dropped_chunks",
                                        "received_at", "sample_count", "sample_frequency_hz"}));
    EXPECT_FALSE(B(meta, "available"));
    for (const char* zero : {"channel_count", "chunk_count", "dropped_chunks", "sample_count"}) {
        EXPECT_EQ(D(meta, zero), 0) << zero;
    }
    for (const char* empty : {"chunk_sizes", "received_at", "sample_frequency_hz"}) {
        EXPECT_EQ(mxhost::Dims(Field(meta, empty)), (std::vector<size_t>{0, 0})) << empty;
    }
    EXPECT_EQ(mxhost::Dims(Field(read.value, "data")), (std::vector<size_t>{0, 0}));
    EXPECT_MEX_ERROR(Call("read_chunk", Struct({{"timeout_ms", mxhost::Logical(true)}})), "kestrix:mex:invalidArgument",
                     "\"timeout_ms\" must be numeric.");
    EXPECT_MEX_ERROR(Call("read_chunk", Struct({{"drain", Str("y")}})), "kestrix:mex:invalidArgument",
                     "\"drain\" must be numeric.");
}

TEST_F(StreamTest, ReadChunk_MetaDescribesEachChunkOldestFirst) {
    kxsim::SetSignal(kxsim::SignalKind::kRamp);  // samples carry their index
    kxsim::SetManualStream(true);
    Connect();
    Ok(Call("start_stream"));
    ASSERT_TRUE(kxsim::EmitChunks(3));
    CallResult newest = Call("read_chunk", ReadPayload(0, false));
    EXPECT_EQ(Meta(Ok(newest), "chunk_count"), 1);
    EXPECT_EQ(DataOf(newest.value).at(0, 0), kxsim::RampValue(0, 0, 50));

    CallResult read = Call("read_chunk");
    const mxArray* meta = Field(Ok(read), "meta");
    EXPECT_EQ(D(meta, "chunk_count"), 3);
    EXPECT_EQ(D(meta, "channel_count"), 8);
    EXPECT_EQ(D(meta, "sample_count"), 75);
    EXPECT_EQ(D(meta, "sample_frequency_hz"), 250);
    EXPECT_EQ(mxhost::Dims(Field(meta, "chunk_sizes")), (std::vector<size_t>{1, 3}));
    const double* received = mxGetDoubles(Field(meta, "received_at"));
    EXPECT_LE(received[0], received[1]);
    EXPECT_LE(received[1], received[2]);
    EXPECT_GT(received[0], 1.6e9);
    EXPECT_EQ(mxhost::Dims(Field(read.value, "data")), (std::vector<size_t>{8, 75}));
}

// A read that met a change of channel count failed and lost the chunks it had already taken out.
TEST_F(StreamTest, ReadChunk_ChannelCountChangesMidStream_NextReadReturnsTheNewLayout) {
    kxsim::SetManualStream(true);
    kxsim::SetChannelCountChangeAfter(2, 3);
    Connect();
    Ok(Call("start_stream"));
    ASSERT_TRUE(kxsim::EmitChunks(4));
    CallResult first = Call("read_chunk");
    EXPECT_EQ(Meta(Ok(first), "chunk_count"), 2);
    EXPECT_EQ(Meta(first.value, "channel_count"), 8);
    CallResult second = Call("read_chunk");
    EXPECT_EQ(Meta(Ok(second), "chunk_count"), 2);
    EXPECT_EQ(Meta(second.value, "channel_count"), 3);
    EXPECT_FALSE(Meta(Ok(Call("read_chunk")), "available"));
}

// Chunk storage is recycled between drops, reads and layouts, and the matrix
// is not zeroed before the copy: every value must still be the SDK's.
TEST_F(StreamTest, ReadChunk_StorageRecycledAcrossDropsAndLayouts_EveryValueAsTheSdkMadeIt) {
    kxsim::SetSignal(kxsim::SignalKind::kRamp);
    kxsim::SetManualStream(true);
    kxsim::SetChannelCountChangeAfter(5, 3);  // chunks 0-4 carry 8 channels, later ones 3
    Connect();
    Ok(Call("start_stream", Capacity(3)));
    const auto expect_chunks = [this](const CallResult& read, std::size_t first_chunk, std::size_t channels) {
        const Samples samples = DataOf(read.value);
        ASSERT_EQ(samples.channels, channels);
        ASSERT_EQ(samples.columns, 3u * 25u);
        for (std::size_t column = 0; column < samples.columns; ++column) {
            for (std::size_t p = 0; p < channels; ++p) {
                ASSERT_EQ(samples.at(p, column),
                          kxsim::RampValue(KX_DATA_TYPE_FLOAT32, static_cast<int>(p), first_chunk * 25 + column))
                    << "channel " << p << " column " << column;
            }
        }
    };
    ASSERT_TRUE(kxsim::EmitChunks(4));
    CallResult first = Call("read_chunk");
    EXPECT_EQ(Meta(Ok(first), "dropped_chunks"), 1);
    expect_chunks(first, 1, 8);

    ASSERT_TRUE(kxsim::EmitChunks(5));  // chunks 4-8; 4 and 5 are dropped
    CallResult second = Call("read_chunk");
    EXPECT_EQ(Meta(Ok(second), "dropped_chunks"), 2);
    expect_chunks(second, 6, 3);
}

// Chunks produced by the SDK are each accounted for exactly once: returned,
// reported dropped, or reported drained by the stop.
TEST_F(StreamTest, FastStreamSlowReader_EveryChunkReturnedDroppedOrDrained) {
    kxsim::SetManualStream(true);
    Connect();
    Ok(Call("start_stream", Capacity(16)));
    std::atomic<bool> emitted{false};
    std::thread burst([&emitted] {
        for (int k = 0; k < 20; ++k) {
            kxsim::EmitChunks(50, 10000);
        }
        emitted.store(true);
    });
    std::uint64_t returned = 0;
    std::uint64_t dropped = 0;
    for (int k = 0; k < 8; ++k) {
        kxsim::WaitForChunks(static_cast<std::uint64_t>(k + 1) * 100, 10000);
        CallResult read = Call("read_chunk", ReadPayload(100));
        returned += static_cast<std::uint64_t>(Meta(Ok(read), "chunk_count"));
        dropped += static_cast<std::uint64_t>(Meta(read.value, "dropped_chunks"));
    }
    burst.join();
    ASSERT_TRUE(emitted.load());
    CallResult stop = Call("stop_stream");
    const auto drained = static_cast<std::uint64_t>(D(Ok(stop), "drained_chunks"));
    CallResult after = Call("read_chunk");
    EXPECT_FALSE(Meta(Ok(after), "available"));
    dropped += static_cast<std::uint64_t>(Meta(after.value, "dropped_chunks"));

    const std::uint64_t produced = kxsim::ChunksProduced();
    EXPECT_EQ(produced, 1000u);
    EXPECT_EQ(returned + dropped + drained, produced)
        << "returned " << returned << ", dropped " << dropped << ", drained " << drained;
    EXPECT_GT(dropped, 0u);
    std::printf("[ accounting ] produced %llu = returned %llu + dropped %llu + drained %llu\n",
                static_cast<unsigned long long>(produced), static_cast<unsigned long long>(returned),
                static_cast<unsigned long long>(dropped), static_cast<unsigned long long>(drained));
}

class StreamSlowWaitTest : public StreamTest {
protected:
    // The command fails as given once the 10 s wait for the SDK's streaming state has run out.
    void ExpectFailureAfterTenSeconds(const char* command, const char* identifier, const char* message) {
        const auto start = Clock::now();
        EXPECT_MEX_ERROR(Call(command), identifier, message);
        const auto elapsed = Clock::now() - start;
        EXPECT_GE(elapsed, std::chrono::seconds(10));
        EXPECT_LT(elapsed, std::chrono::seconds(12));
    }
};

TEST_F(StreamSlowWaitTest, StartStream_NeverStreaming_FailsAfterTenSeconds) {
    kxsim::SetStreamingDelays(-1, 0);
    Connect();
    ExpectFailureAfterTenSeconds("start_stream", "kestrix:state:notStreaming", "Stream did not start.");
}

TEST_F(StreamSlowWaitTest, StopStream_NeverStopping_FailsAfterTenSeconds) {
    kxsim::SetStreamingDelays(0, -1);
    Connect();
    Ok(Call("start_stream"));
    ExpectFailureAfterTenSeconds("stop_stream", "kestrix:state:streaming", "Stream did not stop.");
}

// ---- mock backend ----------------------------------------------------------

TEST_F(MockStreamTest, StartAndStop_WithoutMockDevice_FailNotConnected) {
    EXPECT_MEX_ERROR(Call("start_stream"), "kestrix:state:notConnected", kNoDevice);
    EXPECT_MEX_ERROR(Call("stop_stream"), "kestrix:state:notConnected", kNoManager);
}

TEST_F(MockStreamTest, SecondStart_RefusedAfterEmptyingTheBufferWhileTheStreamGoesOn) {
    Connect();
    EnableChannel(2);
    CallResult start = Call("start_stream");
    EXPECT_EQ(D(Ok(start), "sample_frequency_hz"), 250);
    CallResult peek = Call("read_chunk", ReadPayload(5000, false));
    ASSERT_TRUE(Meta(Ok(peek), "available"));
    EXPECT_MEX_ERROR(Call("start_stream"), "kestrix:state:streaming", "Stream already running.");
    EXPECT_TRUE(B(Ok(Call("is_streaming")), "streaming"));
    CallResult later = Call("read_chunk", ReadPayload(5000));
    ASSERT_TRUE(Meta(Ok(later), "available"));
    const double peeked_at = mxGetDoubles(Field(Field(peek.value, "meta"), "received_at"))[0];
    const double oldest_later = mxGetDoubles(Field(Field(later.value, "meta"), "received_at"))[0];
    EXPECT_GT(oldest_later, peeked_at) << "the refused start empties the buffer";
    CallResult stop = Call("stop_stream");
    EXPECT_TRUE(B(Ok(stop), "stopped"));
    CallResult again = Call("stop_stream");
    EXPECT_FALSE(B(Ok(again), "stopped"));
}

// The mock thread fills storage that earlier reads handed back to the pool:
// every sample of every read still follows the signal, continuously.
TEST_F(MockStreamTest, Stream_ReadsAcrossRecycledStorage_EverySampleFollowsTheSignal) {
    Connect();
    EnableChannel(3);
    EnableChannel(7);
    Ok(Call("start_stream"));
    std::size_t column = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (column < 4 * 25 && Clock::now() < deadline) {
        CallResult read = Call("read_chunk", ReadPayload(1000));
        const Samples samples = DataOf(Ok(read));
        for (std::size_t k = 0; k < samples.columns; ++k, ++column) {
            const double t = static_cast<double>(column) / 250.0;
            ASSERT_EQ(samples.at(0, k), std::sin(t * (2 * 6.283185307179586) + 0.15 * 3) * 20 + 15) << column;
            ASSERT_EQ(samples.at(1, k), std::sin(t * (3 * 6.283185307179586) + 0.15 * 7) * 21 + 35) << column;
        }
    }
    EXPECT_GE(column, 4u * 25u) << "the mock stream did not deliver 4 chunks within 10 s";
    Ok(Call("stop_stream"));
}

}  // namespace
}  // namespace kxtest
