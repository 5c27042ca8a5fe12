#include <charconv>
#include <system_error>

#include "cut/cut.hpp"

namespace cellvane {

namespace {

void append_id(std::string& out, std::uint32_t id) {
    char buf[16];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, id);
    if (ec == std::errc()) out.append(buf, end);
}

}  // namespace

void CutMemo::forget_cuts_near(Point p) {
    for (auto it = entries_.begin(); it != entries_.end();) {
        const Point a = it->second.first;
        const Point b = it->second.second;
        const Point mid{(a.x + b.x) / 2, (a.y + b.y) / 2};
        if (distance(mid, p) <= CUT_REACH) {
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
}

std::size_t CutMemo::size() const { return entries_.size(); }

const CutEntry* CutMemo::find(const CutKey& key) const {
    auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : &it->second;
}

void CutMemo::remember(const CutKey& key, const CutEntry& entry) { entries_.insert_or_assign(key, entry); }

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
