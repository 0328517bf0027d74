// Where annotations go in the annotation signals of a file's data records.
//
// Every data record has the same number of annotation signals of the same
// size; the first begins with the record's time-keeping TAL. EDF+ onsets
// count from the file's start, so a TAL may sit in any record. A TAL never
// runs from one signal into the next: every signal stays a list of whole
// TALs for every reader. Nothing here touches the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kxedf {

class AnnotationRoom {
public:
    AnnotationRoom(int signals, size_t signal_bytes) : signals_(signals), bytes_(signal_bytes) {}

    int signals() const { return signals_; }
    size_t signal_bytes() const { return bytes_; }
    long long records() const { return static_cast<long long>(keeping_.size()); }

    // A data record was written; its time-keeping TAL takes `keeping` bytes.
    void AddRecord(size_t keeping);

    struct Place {
        long long record;
        int signal;
        size_t offset;  // within the signal
    };
    // Puts tal into the first record with room from `near` on to the last,
    // else into the nearest before it. False when no record has room.
    bool Put(const std::string& tal, long long near, Place* place);

    // Every record without annotations again.
    void Clear();

    // The bytes of a record's annotation signals after its time-keeping TAL,
    // zero-filled, as they belong in the file.
    std::string Area(long long record) const;
    bool SameArea(const AnnotationRoom& other, long long record) const;
    size_t keeping(long long record) const { return keeping_[static_cast<size_t>(record)]; }

private:
    size_t Free(size_t record, int signal) const;
    uint16_t EmptyMostFree(size_t record) const;
    bool PutInto(size_t record, const std::string& tal, Place* place);

    int signals_;
    size_t bytes_;
    std::vector<uint16_t> keeping_;   // per record
    std::vector<std::string> tals_;   // per record and signal: its TALs
    std::vector<uint16_t> most_free_;  // per record: the most free bytes of one signal
};

}  // namespace kxedf
