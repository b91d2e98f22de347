#include "calendar/calendar_json.hpp"

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "calendar/json_number.hpp"

namespace korvex {
namespace {

// Input over a string_view. The reader takes '\0' for the end of the text, so a NUL byte inside
// the document is told apart from the real end by its position afterwards.
class ViewStream {
public:
    using Ch = char;
    explicit ViewStream(std::string_view text) : text_(text) {}
    Ch Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    Ch Take() { return pos_ < text_.size() ? text_[pos_++] : '\0'; }
    std::size_t Tell() const { return pos_; }
    // Write side of the stream concept; never used without in-place parsing.
    Ch* PutBegin() { return nullptr; }
    void Put(Ch) {}
    void Flush() {}
    std::size_t PutEnd(Ch*) { return 0; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// Iterative: nesting depth costs heap, not stack. Numbers arrive as text and are converted here,
// exactly. Strings must be valid UTF-8.
constexpr unsigned kParseFlags = rapidjson::kParseDefaultFlags | rapidjson::kParseIterativeFlag |
                                 rapidjson::kParseValidateEncodingFlag |
                                 rapidjson::kParseNumbersAsStringsFlag;

constexpr std::array<std::string_view, 3> kFieldNames = {"TimeWeightings", "DayWeightings",
                                                         "IanaTimeZone"};

std::string without_final_period(std::string message) {
    if (message.ends_with('.')) message.pop_back();
    return message;
}

// The reader's wording for syntax errors; "Number too big" also covers a number that only the
// exact conversion here finds out of range.
std::string reader_message(rapidjson::ParseErrorCode code) {
    return without_final_period(rapidjson::GetParseError_En(code));
}

std::string quoted(std::string_view s) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (u < 0x20 || u == 0x7F) {
            out += "\\u{";
            if (u >= 0x10) out += kHex[u >> 4];
            out += kHex[u & 0xF];
            out += '}';
        } else {
            out += c;
        }
    }
    return out + '"';
}

std::string describe_number(std::string_view token) {
    const bool integer = token.find_first_of(".eE") == std::string_view::npos;
    return (integer ? "integer `" : "floating point `") + std::string(token) + '`';
}

struct Failure {
    std::string message;
    std::size_t offset;  // byte the message is about
    bool number_too_big = false;
};

// Where the next value of the document belongs.
enum class Slot {
    root,
    time_weightings,
    day_weightings,
    iana_time_zone,
    bucket_map,
    weight,
    skip,
    excess,
};

// SAX handler that fills a CalendarJson. The iterative reader calls it for a bracket before it
// consumes the bracket, and for any other token after it has consumed the whole token; the
// offsets below rely on that (and the tests pin the resulting columns).
class Handler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, Handler> {
public:
    // `original` is the document as given; `text` may have numbers rewritten in place.
    Handler(const ViewStream& stream, std::string_view text, std::string_view original)
        : stream_(stream), text_(text), original_(original) {}

    bool Null() { return scalar("null"); }
    bool Bool(bool b) { return scalar(b ? "boolean `true`" : "boolean `false`"); }

    bool RawNumber(const char*, rapidjson::SizeType length, bool) {
        if (skip_depth_ > 0) return true;
        // Read from the document as given: a rewritten token keeps its start, not its text.
        const std::size_t start = stream_.Tell() - length;
        const std::string_view rest = original_.substr(start);
        const std::string_view token = rest.substr(0, json_number_length(rest));
        const Slot slot = take_slot();
        if (slot != Slot::weight) {
            return mismatch(slot, describe_number(token), start + token.size() - 1);
        }
        const std::optional<double> value = json_number_value(token);
        if (!value) return fail(reader_message(rapidjson::kParseErrorNumberTooBig), start);
        current_map_->insert_or_assign(key_, *value);
        return true;
    }

    bool String(const char* str, rapidjson::SizeType length, bool) {
        if (skip_depth_ > 0) return true;
        const std::string_view text(str, length);
        const Slot slot = take_slot();
        if (slot != Slot::iana_time_zone) {
            return mismatch(slot, "string " + quoted(text), last_byte());
        }
        json_.iana_time_zone.assign(text);
        return element_done(stream_.Tell());
    }

    bool StartObject() {
        if (skip_depth_ > 0) return enter_skipped();
        switch (const Slot slot = take_slot()) {
            case Slot::root:
                at_ = At::top_object;
                return true;
            case Slot::time_weightings:
                at_ = At::time_days;
                return true;
            case Slot::day_weightings:
                current_map_ = &json_.day_weightings;
                at_ = At::day_weights;
                return true;
            case Slot::bucket_map:
                // A day named twice: the later inner object replaces the earlier one whole.
                current_map_ = &json_.time_weightings[key_];
                current_map_->clear();
                at_ = At::time_buckets;
                return true;
            case Slot::skip:
                return enter_skipped();
            default:
                return mismatch(slot, "map", stream_.Tell());
        }
    }

    bool StartArray() {
        if (skip_depth_ > 0) return enter_skipped();
        switch (const Slot slot = take_slot()) {
            case Slot::root:
                at_ = At::top_array;
                return true;
            case Slot::skip:
                return enter_skipped();
            default:
                return mismatch(slot, "sequence", stream_.Tell());
        }
    }

    bool Key(const char* str, rapidjson::SizeType length, bool) {
        if (skip_depth_ > 0) return true;
        const std::string_view key(str, length);
        if (at_ != At::top_object) {
            key_.assign(key);
            return true;
        }
        const auto it = std::find(kFieldNames.begin(), kFieldNames.end(), key);
        if (it == kFieldNames.end()) {
            field_slot_ = Slot::skip;
            return true;
        }
        const auto field = static_cast<std::size_t>(it - kFieldNames.begin());
        if (seen_[field]) return fail("duplicate field `" + std::string(key) + '`', last_byte());
        seen_[field] = true;
        field_slot_ = kArraySlots[field];
        return true;
    }

    bool EndObject(rapidjson::SizeType) {
        if (skip_depth_ > 0) return leave_skipped();
        switch (at_) {
            case At::time_buckets:
                at_ = At::time_days;
                return true;
            case At::time_days:
            case At::day_weights:
                at_ = top_;
                return element_done(stream_.Tell() + 1);
            default:  // the top-level object
                for (std::size_t i = 0; i < kFieldNames.size(); ++i) {
                    if (seen_[i]) continue;
                    const std::string name(kFieldNames[i]);
                    return fail("missing field `" + name + '`', stream_.Tell());
                }
                at_ = At::done;
                return true;
        }
    }

    bool EndArray(rapidjson::SizeType) {
        if (skip_depth_ > 0) return leave_skipped();
        if (elements_ < kArraySlots.size()) {
            return fail("invalid length " + std::to_string(elements_) +
                            ", expected struct CalendarJson with 3 elements",
                        stream_.Tell());
        }
        at_ = At::done;
        return true;
    }

    CalendarJson& result() { return json_; }
    const std::optional<Failure>& failure() const { return failure_; }

private:
    enum class At { root, top_object, top_array, time_days, time_buckets, day_weights, done };
    static constexpr std::array<Slot, 3> kArraySlots = {Slot::time_weightings, Slot::day_weightings,
                                                        Slot::iana_time_zone};

    // The slot of the value that starts now; top-level array elements are counted here.
    Slot take_slot() {
        switch (at_) {
            case At::root:
                return Slot::root;
            case At::top_object:
                top_ = At::top_object;
                return field_slot_;
            case At::top_array:
                top_ = At::top_array;
                return elements_ < kArraySlots.size() ? kArraySlots[elements_++] : Slot::excess;
            case At::time_days:
                return Slot::bucket_map;
            case At::time_buckets:
            case At::day_weights:
                return Slot::weight;
            case At::done:
                break;
        }
        return Slot::excess;
    }

    std::size_t last_byte() const { return stream_.Tell() - 1; }

    bool enter_skipped() {
        ++skip_depth_;
        return true;
    }

    bool leave_skipped() {
        --skip_depth_;
        return true;
    }

    // A top-level array element has ended just before `end`: the next one would start after it.
    bool element_done(std::size_t end) {
        if (at_ == At::top_array) element_end_ = end;
        return true;
    }

    bool mismatch(Slot slot, const std::string& found, std::size_t offset) {
        switch (slot) {
            case Slot::skip:
                return true;
            case Slot::excess: {
                // Reported as text after the end of the value, at the start of the fourth element.
                std::size_t p = element_end_;
                const auto blanks = [&] {
                    while (p < text_.size() && std::string_view(" \t\n\r").contains(text_[p])) ++p;
                };
                blanks();
                if (p < text_.size() && text_[p] == ',') ++p;
                blanks();
                return fail(reader_message(rapidjson::kParseErrorDocumentRootNotSingular), p);
            }
            case Slot::root:
                return fail("invalid type: " + found + ", expected struct CalendarJson", offset);
            case Slot::iana_time_zone:
                return fail("invalid type: " + found + ", expected a string", offset);
            case Slot::weight:
                return fail("invalid type: " + found + ", expected f64", offset);
            default:
                return fail("invalid type: " + found + ", expected a map", offset);
        }
    }

    bool scalar(const char* found) {
        if (skip_depth_ > 0) return true;
        return mismatch(take_slot(), found, last_byte());
    }

    bool fail(std::string message, std::size_t offset) {
        failure_ = Failure{std::move(message), offset};
        return false;
    }

    const ViewStream& stream_;
    std::string_view text_;
    std::string_view original_;
    CalendarJson json_;
    At at_ = At::root;
    At top_ = At::root;  // the kind of the top-level value, once known
    Slot field_slot_ = Slot::skip;
    std::array<bool, 3> seen_{};
    std::size_t elements_ = 0;
    std::size_t element_end_ = 0;
    std::size_t skip_depth_ = 0;
    std::string key_;
    WeightMap* current_map_ = nullptr;
    std::optional<Failure> failure_;
};

std::string position(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    const std::string_view before = text.substr(0, offset);
    const auto line = 1 + std::count(before.begin(), before.end(), '\n');
    const std::size_t newline = before.rfind('\n');
    const std::size_t column = offset - (newline == std::string_view::npos ? 0 : newline + 1) + 1;
    return " at line " + std::to_string(line) + " column " + std::to_string(column);
}

std::expected<CalendarJson, Failure> parse_text(std::string_view text, std::string_view original) {
    ViewStream stream(text);
    Handler handler(stream, text, original);
    rapidjson::Reader reader;
    const rapidjson::ParseResult ok = reader.Parse<kParseFlags>(stream, handler);
    if (handler.failure()) return std::unexpected(*handler.failure());
    if (!ok) {
        return std::unexpected(Failure{reader_message(ok.Code()), ok.Offset(),
                                       ok.Code() == rapidjson::kParseErrorNumberTooBig});
    }
    if (stream.Tell() != text.size()) {  // stopped at a NUL byte, taken for the end
        return std::unexpected(
            Failure{reader_message(rapidjson::kParseErrorDocumentRootNotSingular), stream.Tell()});
    }
    return std::move(handler.result());
}

}  // namespace

Result<CalendarJson> parse_calendar_json(std::string_view document) {
    std::string rewritten;
    std::string_view text = document;
    auto parsed = parse_text(text, document);
    // Each round rewrites from the refused number on; a refusal no further on ends it.
    for (std::size_t from = 0;
         !parsed && parsed.error().number_too_big && parsed.error().offset >= from;) {
        if (rewritten.empty()) rewritten.assign(document);
        rewrite_large_json_numbers(rewritten, parsed.error().offset);
        from = parsed.error().offset + 1;
        text = rewritten;
        parsed = parse_text(text, document);
    }
    if (!parsed) return fail(parsed.error().message + position(text, parsed.error().offset));
    return std::move(*parsed);
}

}  // namespace korvex
