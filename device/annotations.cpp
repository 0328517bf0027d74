// Text markers on the recording. The real SDK keeps and stamps them; the mock
// backend keeps them in the session record, stamped with the mock stream's
// running sample index. None of the three commands looks at the streaming
// state.
#include "gateway/commands.h"
#include "gateway/failure.h"
#include "gateway/values.h"
#include "session/session_state.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace kx {

MxPtr HandleAnnotate(const mxArray* payload) {
    const std::string message = RequirePayloadString(payload, "message");
    kx_eeg_manager* manager = RequireConnectedManager();

    SessionState& session = *Session();
    if (session.mock_mode) {
        std::lock_guard<std::mutex> lock(session.mock_mutex);
        session.mock_annotations.push_back(MockAnnotation{message, session.mock_sample_index});
    } else {
        CallSdkRequiringOk("kx_eeg_manager_annotate",
                           [&] { return kx_eeg_manager_annotate(manager, message.c_str()); });
    }
    return StructBuilder({"annotated", "message"})
        .Set("annotated", MakeLogical(true))
        .Set("message", MakeString(message))
        .Release();
}

MxPtr HandleGetAnnotations() {
    kx_eeg_manager* manager = RequireConnectedManager();

    std::vector<std::string> texts;
    std::vector<std::uint64_t> timestamps;
    SessionState& session = *Session();
    if (session.mock_mode) {
        std::lock_guard<std::mutex> lock(session.mock_mutex);
        texts.reserve(session.mock_annotations.size());
        timestamps.reserve(session.mock_annotations.size());
        for (const MockAnnotation& annotation : session.mock_annotations) {
            texts.push_back(annotation.message);
            timestamps.push_back(annotation.sample_index);
        }
    } else {
        const kx_annotation* list = nullptr;
        std::uint64_t count = 0;
        CallSdkOrThrow("kx_eeg_manager_get_annotations",
                       [&] { kx_eeg_manager_get_annotations(manager, &list, &count); });
        // A count with no array would be read through a null pointer.
        if (count != 0 && list == nullptr) {
            ThrowNullResult("kx_eeg_manager_get_annotations");
        }
        for (std::uint64_t i = 0; i < count; ++i) {
            texts.push_back(SdkText(list[i].text));
            timestamps.push_back(list[i].timestamp);
        }
    }
    return StructBuilder({"annotations", "timestamps"})
        .Set("annotations", MakeCellRow(texts))
        .Set("timestamps", MakeSizeRowVector(timestamps))
        .Release();
}

MxPtr HandleClearAnnotations() {
    kx_eeg_manager* manager = RequireConnectedManager();

    SessionState& session = *Session();
    if (session.mock_mode) {
        std::lock_guard<std::mutex> lock(session.mock_mutex);
        session.mock_annotations.clear();
    } else {
        CallSdkOrThrow("kx_eeg_manager_clear_annotations", [&] { kx_eeg_manager_clear_annotations(manager); });
    }
    return StructBuilder({"cleared"}).Set("cleared", MakeLogical(true)).Release();
}

}  // namespace kx
