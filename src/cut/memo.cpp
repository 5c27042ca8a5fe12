#include <algorithm>
#include <charconv>
#include <system_error>

#include "cut/memo.hpp"
#include "zone/zone.hpp"

namespace cellvane {

namespace {

void append_id(std::string& out, std::uint32_t id) {
    char buf[16];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, id);
    if (ec == std::errc()) out.append(buf, end);
}

}  // namespace

CutMemo::CutMemo() = default;
CutMemo::CutMemo(const CutMemo& other) = default;
CutMemo::CutMemo(CutMemo&& other) noexcept = default;
CutMemo& CutMemo::operator=(const CutMemo& other) = default;
CutMemo& CutMemo::operator=(CutMemo&& other) noexcept = default;
CutMemo::~CutMemo() = default;

void CutMemo::forget_cuts_near(Point p) {
    std::erase_if(slots_, [p](const CutMemoSlot& slot) {
        const Point a = slot.entry.first;
        const Point b = slot.entry.second;
        const Point mid{(a.x + b.x) / 2, (a.y + b.y) / 2};
        return distance(mid, p) <= CUT_REACH;
    });
}

std::size_t CutMemo::size() const { return slots_.size(); }

namespace {

// The first slot whose key is not below `key`.
template <class Slots>
auto slot_at(Slots& slots, const CutKey& key) {
    return std::lower_bound(slots.begin(), slots.end(), key,
                            [](const CutMemoSlot& slot, const CutKey& k) { return slot.key < k; });
}

}  // namespace

const CutEntry* CutMemoTable::find(const CutMemo& memo, const CutKey& key) {
    const auto it = slot_at(memo.slots_, key);
    return it == memo.slots_.end() || it->key != key ? nullptr : &it->entry;
}

void CutMemoTable::remember(CutMemo& memo, const CutKey& key, const CutEntry& entry) {
    const auto it = slot_at(memo.slots_, key);
    if (it != memo.slots_.end() && it->key == key) {
        it->entry = entry;
    } else {
        memo.slots_.insert(it, CutMemoSlot{key, entry});
    }
}

std::string CutFault::message() const {
    std::string out;
    switch (kind) {
        case CutFaultKind::NotInPlay:
            out = "no stone ";
            append_id(out, a);
            out += " is on the board";
            break;
        case CutFaultKind::AgainstItself:
            out = "stone ";
            append_id(out, a);
            out += " cannot be cut from itself";
            break;
        case CutFaultKind::TwoColours:
            out = "stones ";
            append_id(out, a);
            out += " and ";
            append_id(out, b);
            out += " are not the same colour";
            break;
    }
    return out;
}

}  // namespace cellvane
