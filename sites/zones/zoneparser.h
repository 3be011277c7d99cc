// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace sites::zones {

// Reads a zone's master file (RFC 1035, section 5) as it arrives, in pieces of any size, and
// reports the zone's delegated names: a name counts when it is exactly one label below the
// zone's apex and owns at least one NS record. Glue, DS records, NS hosts named in the data
// and anything deeper or outside the zone never count. Labels come out lowercased, without
// the zone's suffix, each at least once (the same label is not repeated back to back).
class ZoneParser {
public:
    using LabelSink = std::function<void(std::string_view label)>;

    // `apex` is the zone's name, such as "com"; it is also the first $ORIGIN.
    ZoneParser(std::string_view apex, LabelSink sink);

    void feed(const char* data, std::size_t size);
    // The last line may lack its newline.
    void finish();

    bool sawSoa() const { return sawSoa_; }
    // The apex SOA's serial as written (empty before it is read).
    const std::string& soaSerial() const { return soaSerial_; }
    std::uint64_t records() const { return records_; }
    // Owners that are not plain host names (escapes, odd characters): never counted.
    std::uint64_t skipped() const { return skipped_; }
    // Empty while the text reads as a zone; otherwise why it does not (one line).
    const std::string& error() const { return error_; }

    static constexpr std::size_t maxLineBytes = 1 << 20;

private:
    void line(const char* begin, const char* end);
    void token(std::string_view text);
    void endRecord();
    bool resolve(std::string_view text, std::string& out) const;
    void ownerStated(std::string_view text);

    std::string apex_;   // "com"
    std::string origin_; // without its final dot; empty for the root
    LabelSink sink_;
    std::string carry_;  // an unfinished line from the last piece

    // The record being read (it may span lines inside parentheses).
    int depth_ = 0;
    int tokenIndex_ = 0;
    bool inherited_ = false;
    bool typeSeen_ = false;
    int soaField_ = -1; // the rdata field of the apex SOA being read; -1 in any other record
    enum class Directive { None, Origin, Other } directive_ = Directive::None;

    std::string owner_;     // the last stated owner, resolved and lowercased
    bool ownerValid_ = false;
    std::string label_;     // owner's label when it sits right below the apex, else empty
    std::string lastLabel_; // the last label reported
    std::string scratch_;

    bool sawSoa_ = false;
    std::string soaSerial_;
    std::uint64_t records_ = 0;
    std::uint64_t skipped_ = 0;
    std::string error_;
};

} // namespace sites::zones
