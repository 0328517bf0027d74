#include "edf_annotation_room.h"

#include <algorithm>

namespace kxedf {

void AnnotationRoom::AddRecord(size_t keeping) {
    keeping_.push_back(static_cast<uint16_t>(std::min(keeping, bytes_)));
    tals_.resize(tals_.size() + static_cast<size_t>(signals_));
    most_free_.push_back(EmptyMostFree(keeping_.size() - 1));
}

uint16_t AnnotationRoom::EmptyMostFree(size_t record) const {
    return static_cast<uint16_t>(signals_ > 1 ? bytes_ : bytes_ - keeping_[record]);
}

size_t AnnotationRoom::Free(size_t record, int signal) const {
    const size_t used = tals_[record * static_cast<size_t>(signals_) + static_cast<size_t>(signal)].size() +
                        (signal == 0 ? keeping_[record] : 0);
    return bytes_ - std::min(used, bytes_);
}

bool AnnotationRoom::PutInto(size_t record, const std::string& tal, Place* place) {
    if (most_free_[record] < tal.size()) {
        return false;
    }
    for (int s = 0; s < signals_; ++s) {
        if (Free(record, s) >= tal.size()) {
            std::string& tals = tals_[record * static_cast<size_t>(signals_) + static_cast<size_t>(s)];
            *place = {static_cast<long long>(record), s, (s == 0 ? keeping_[record] : 0) + tals.size()};
            tals += tal;
            size_t most = 0;
            for (int t = 0; t < signals_; ++t) {
                most = std::max(most, Free(record, t));
            }
            most_free_[record] = static_cast<uint16_t>(most);
            return true;
        }
    }
    return false;
}

bool AnnotationRoom::Put(const std::string& tal, long long near, Place* place) {
    if (keeping_.empty()) {
        return false;
    }
    const size_t start = static_cast<size_t>(std::min(std::max(near, 0LL), records() - 1));
    for (size_t r = start; r < keeping_.size(); ++r) {
        if (PutInto(r, tal, place)) {
            return true;
        }
    }
    for (size_t r = start; r-- > 0;) {
        if (PutInto(r, tal, place)) {
            return true;
        }
    }
    return false;
}

void AnnotationRoom::Clear() {
    for (std::string& tals : tals_) {
        tals.clear();
    }
    for (size_t r = 0; r < keeping_.size(); ++r) {
        most_free_[r] = EmptyMostFree(r);
    }
}

std::string AnnotationRoom::Area(long long record) const {
    const size_t r = static_cast<size_t>(record);
    std::string area(static_cast<size_t>(signals_) * bytes_ - keeping_[r], '\0');
    for (int s = 0; s < signals_; ++s) {
        const std::string& tals = tals_[r * static_cast<size_t>(signals_) + static_cast<size_t>(s)];
        const size_t at = s == 0 ? 0 : static_cast<size_t>(s) * bytes_ - keeping_[r];
        area.replace(at, tals.size(), tals);
    }
    return area;
}

bool AnnotationRoom::SameArea(const AnnotationRoom& other, long long record) const {
    const size_t first = static_cast<size_t>(record) * static_cast<size_t>(signals_);
    return std::equal(tals_.begin() + static_cast<std::ptrdiff_t>(first),
                      tals_.begin() + static_cast<std::ptrdiff_t>(first + static_cast<size_t>(signals_)),
                      other.tals_.begin() + static_cast<std::ptrdiff_t>(first));
}

}  // namespace kxedf
