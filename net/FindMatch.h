// Query keys and the matches a server returns, as plain values. Reading a match
// takes whatever a server sends: values are bounded in length and count, texts
// come out in UTF-8 where the data set's character set can be converted.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class DcmItem;

enum class QueryLevel { Study, Series, Image };
// "STUDY", "SERIES", "IMAGE": the Query/Retrieve Level of the Study Root model.
const char* QueryLevelName(QueryLevel level);

struct QueryKey {
    std::uint16_t group = 0;
    std::uint16_t element = 0;
    std::string value;  // matching value: empty asks for the attribute, '*' and '?' are wildcards
};

// "PatientName=DOE*", "0010,0010=DOE*" or "(0010,0010)=DOE*". nullopt with `error`
// in words when the key is not an attribute of the dictionary or a tag.
std::optional<QueryKey> ParseQueryKey(std::string_view text, std::string& error);

struct FoundValue {
    std::string name;  // the dictionary keyword ("PatientName"), or "gggg,eeee" for a tag it lacks
    std::uint16_t group = 0;
    std::uint16_t element = 0;
    std::string text;  // values apart by '\'; UTF-8 unless the server's character set could not be converted
};

struct FindMatch {
    std::vector<FoundValue> values;
    // The text of `name`, or null when the match has none.
    const std::string* Value(std::string_view name) const;
};

// Longest value text kept, and most values kept, of one match.
inline constexpr std::size_t kMaxValueText = 4096;
inline constexpr std::size_t kMaxValuesPerMatch = 256;

// The top-level string values of `identifier` (sequences and binary values are
// left out), converted to UTF-8 when its Specific Character Set allows.
FindMatch ReadFindMatch(DcmItem& identifier);

// Most bytes kept of one match's data set; a larger one is read and left out.
inline constexpr std::size_t kMaxMatchBytes = 1 << 20;

// A match from the bytes of its data set in an uncompressed transfer syntax;
// nullopt when they are not a data set, or an element claims more bytes than
// there are (so nothing is allocated at a claimed length).
std::optional<FindMatch> ReadFindMatchBytes(std::span<const std::uint8_t> bytes, const std::string& transferSyntaxUid);
