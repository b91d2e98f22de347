// One table of (name, member) pairs per parameter record drives the record's dictionary
// conversions and its by-name access, so the names are written down exactly once.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "volmodel/param_map.hpp"

namespace korvex {

template <class Record>
struct ParamField {
    std::string_view name;
    double Record::*member;
};

template <class Record>
using ParamFields = std::span<const ParamField<Record>>;

// Names are compared byte for byte: no case folding, no trimming.
template <class Record>
constexpr double Record::*field_member(ParamFields<Record> table, std::string_view name) {
    for (const auto& field : table) {
        if (field.name == name) return field.member;
    }
    return nullptr;
}

template <class Record>
std::optional<double> read_field(ParamFields<Record> table, const Record& record,
                                 std::string_view name) {
    const auto member = field_member(table, name);
    if (member == nullptr) return std::nullopt;
    return record.*member;
}

// Unknown names are ignored.
template <class Record>
void write_field(ParamFields<Record> table, Record& record, std::string_view name,
                 double value) {
    if (const auto member = field_member(table, name)) record.*member = value;
}

// Same value as a dictionary round trip that adds `increment` to the entry of `name`.
template <class Record>
void add_to_field(ParamFields<Record> table, Record& record, std::string_view name,
                  double increment) {
    if (const auto member = field_member(table, name)) record.*member = record.*member + increment;
}

template <class Record>
ParamMap table_to_map(ParamFields<Record> table, const Record& record) {
    ParamMap map;
    map.reserve(table.size());
    for (const auto& field : table) map.insert_or_assign(field.name, record.*field.member);
    return map;
}

// Missing names keep the record's default; keys the table lacks are ignored.
template <class Record>
Record table_from_map(ParamFields<Record> table, const ParamMap& map) {
    Record record{};
    for (const auto& field : table) {
        if (const auto value = map.find(field.name)) record.*field.member = *value;
    }
    return record;
}

}  // namespace korvex
