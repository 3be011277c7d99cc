// SPDX-License-Identifier: GPL-3.0-or-later
#include "zoneparser.h"

#include <cstring>

namespace sites::zones {

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

bool same(std::string_view text, std::string_view lowerWord) {
    if (text.size() != lowerWord.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (lower(text[i]) != lowerWord[i])
            return false;
    return true;
}

bool startsWith(std::string_view text, std::string_view lowerWord) {
    return text.size() >= lowerWord.size() && same(text.substr(0, lowerWord.size()), lowerWord);
}

bool digits(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// 3600, or with units as BIND writes them: 1h30m, 2D.
bool isTtl(std::string_view text) {
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return false;
    for (char c : text) {
        const char l = lower(c);
        if (!((c >= '0' && c <= '9') || l == 's' || l == 'm' || l == 'h' || l == 'd' || l == 'w'))
            return false;
    }
    return true;
}

bool isClass(std::string_view text) {
    return same(text, "in") || same(text, "ch") || same(text, "hs") || same(text, "cs") ||
           (startsWith(text, "class") && digits(text.substr(5)));
}

bool hostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

} // namespace

ZoneParser::ZoneParser(std::string_view apex, LabelSink sink) : sink_(std::move(sink)) {
    for (char c : apex)
        apex_ += lower(c);
    while (!apex_.empty() && apex_.back() == '.')
        apex_.pop_back();
    origin_ = apex_;
    if (apex_.empty())
        error_ = "no zone name";
}

void ZoneParser::feed(const char* data, std::size_t size) {
    const char* end = data + size;
    while (data < end && error_.empty()) {
        const char* newline = static_cast<const char*>(std::memchr(data, '\n', std::size_t(end - data)));
        if (!newline) {
            if (carry_.size() + std::size_t(end - data) > maxLineBytes) {
                error_ = "a line longer than 1 MiB: not a zone file";
                return;
            }
            carry_.append(data, end);
            return;
        }
        if (carry_.empty()) {
            line(data, newline);
        } else {
            carry_.append(data, newline);
            line(carry_.data(), carry_.data() + carry_.size());
            carry_.clear();
        }
        data = newline + 1;
    }
}

void ZoneParser::finish() {
    if (!error_.empty())
        return;
    if (!carry_.empty()) {
        line(carry_.data(), carry_.data() + carry_.size());
        carry_.clear();
    }
    if (depth_ > 0)
        error_ = "a parenthesis left open at the end";
    endRecord();
}

void ZoneParser::line(const char* p, const char* end) {
    if (depth_ == 0)
        inherited_ = p < end && (*p == ' ' || *p == '\t');
    while (p < end) {
        const char c = *p;
        if (c == ' ' || c == '\t' || c == '\r') {
            ++p;
        } else if (c == ';') {
            break;
        } else if (c == '(') {
            ++depth_, ++p;
        } else if (c == ')') {
            if (depth_ > 0)
                --depth_;
            ++p;
        } else if (c == '"') {
            const char* start = ++p;
            while (p < end && *p != '"')
                p += (*p == '\\' && p + 1 < end) ? 2 : 1;
            token(std::string_view(start, std::size_t(p - start)));
            if (p < end)
                ++p;
        } else {
            const char* start = p;
            while (p < end && *p != ' ' && *p != '\t' && *p != '\r' && *p != ';' && *p != '(' &&
                   *p != ')' && *p != '"')
                p += (*p == '\\' && p + 1 < end) ? 2 : 1;
            token(std::string_view(start, std::size_t(p - start)));
        }
    }
    if (depth_ == 0)
        endRecord();
}

bool ZoneParser::resolve(std::string_view text, std::string& out) const {
    out.clear();
    if (text.empty())
        return false;
    if (text == "@") {
        out = origin_;
        return true;
    }
    for (char c : text)
        out += lower(c);
    if (out.back() == '.') {
        out.pop_back();
    } else if (!origin_.empty()) {
        out += '.';
        out += origin_;
    }
    return true;
}

void ZoneParser::ownerStated(std::string_view text) {
    ownerValid_ = resolve(text, owner_);
    label_.clear();
    if (!ownerValid_ || owner_.size() <= apex_.size() + 1)
        return;
    const std::size_t cut = owner_.size() - apex_.size() - 1;
    if (owner_[cut] != '.' || std::string_view(owner_).substr(cut + 1) != apex_)
        return;
    const std::string_view label = std::string_view(owner_).substr(0, cut);
    if (label.find('.') != std::string_view::npos)
        return; // deeper than the second level: glue and the like
    for (char c : label)
        if (!hostChar(c)) {
            ++skipped_;
            return;
        }
    if (label.size() <= 63)
        label_ = label;
}

void ZoneParser::token(std::string_view text) {
    const int index = tokenIndex_++;
    if (index == 0 && !inherited_) {
        if (!text.empty() && text[0] == '$')
            directive_ = same(text, "$origin") ? Directive::Origin : Directive::Other;
        else
            ownerStated(text);
        return;
    }
    if (directive_ == Directive::Origin) {
        if (index == 1 && resolve(text, scratch_))
            origin_ = scratch_;
        return;
    }
    if (typeSeen_ && soaField_ >= 0) {
        if (++soaField_ == 3 && soaSerial_.empty()) // MNAME RNAME SERIAL
            soaSerial_ = text;
        return;
    }
    if (directive_ != Directive::None || typeSeen_ || isTtl(text) || isClass(text))
        return;
    typeSeen_ = true;
    ++records_;
    if (!ownerValid_)
        return;
    if (same(text, "ns") || same(text, "type2")) {
        if (!label_.empty() && label_ != lastLabel_) {
            lastLabel_ = label_;
            sink_(label_);
        }
    } else if (same(text, "soa") || same(text, "type6")) {
        if (owner_ == apex_) {
            sawSoa_ = true;
            soaField_ = 0;
        }
    }
}

void ZoneParser::endRecord() {
    tokenIndex_ = 0;
    typeSeen_ = false;
    soaField_ = -1;
    directive_ = Directive::None;
}

} // namespace sites::zones
