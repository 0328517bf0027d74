// Annotations of the simulated SDK: text stamped with the running sample
// index of the manager's current (or last) stream.
#include "operation.h"

using kxsim::detail::Manager;
using kxsim::detail::OperationScope;
using kxsim::detail::OutcomeKind;
using kxsim::detail::Ptr;

extern "C" {

kx_status kx_eeg_manager_annotate(kx_eeg_manager* manager, const char* text) {
    OperationScope call("kx_eeg_manager_annotate", manager, ", " + kxsim::detail::Quote(text));
    if (call.Scripted()) return static_cast<kx_status>(call.script->status);
    if (!call.manager) return KX_ERROR_CONNECTION;
    if (!text) {
        AddViolation(call.world, std::string(call.name) + " with a null text");
        return KX_ERROR_WRONG_VALUE;
    }
    call.manager->annotations.push_back({call.manager->sample_index, false, text});
    return KX_ERROR_OK;
}

void kx_eeg_manager_get_annotations(kx_eeg_manager* manager, const kx_annotation** list, uint64_t* count) {
    OperationScope call("kx_eeg_manager_get_annotations", manager, ", " + Ptr(list) + ", " + Ptr(count));
    Manager* const m = call.manager;
    if (!list || !count) {
        AddViolation(call.world, std::string(call.name) + " with a null out-argument");
        if (call.script) ThrowIfScripted(*call.script);
        return;
    }
    *list = nullptr;
    *count = 0;
    if (call.Scripted()) {
        if (call.script->kind == OutcomeKind::kNull) *count = static_cast<uint64_t>(call.script->status);
        return;
    }
    if (!m) return;
    std::vector<kx_annotation> fresh;
    fresh.reserve(m->annotations.size());
    for (const auto& a : m->annotations) fresh.push_back({a.timestamp, a.null_text ? nullptr : a.text.c_str()});
    // The array handed out last time is released here.
    m->ann_out.swap(fresh);
    *list = m->ann_out.empty() ? nullptr : m->ann_out.data();
    *count = m->ann_out.size();
}

void kx_eeg_manager_clear_annotations(kx_eeg_manager* manager) {
    OperationScope call("kx_eeg_manager_clear_annotations", manager);
    if (call.Scripted() || !call.manager) return;
    call.manager->annotations.clear();
    std::vector<kx_annotation>().swap(call.manager->ann_out);
}

}  // extern "C"
