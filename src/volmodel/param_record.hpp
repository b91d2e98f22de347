// One table of (name, member) pairs per parameter record drives the record's dictionary
// conversions and its by-name access, so the names are written down exactly once.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "volmodel/param_map.hpp"

namespace korvex {

template <class Record>
struct ParamField {
    std::string_view name;
    double Record::*member;
};

template <class Record, std::size_t N>
using ParamTable = std::array<ParamField<Record>, N>;

// Names are compared byte for byte: no case folding, no trimming.
template <class Record, std::size_t N>
constexpr double Record::*field_member(const ParamTable<Record, N>& table, std::string_view name) {
    for (const auto& field : table) {
        if (field.name == name) return field.member;
    }
    return nullptr;
}

template <class Record, std::size_t N>
std::optional<double> read_field(const ParamTable<Record, N>& table, const Record& record,
                                 std::string_view name) {
    const auto member = field_member(table, name);
    if (member == nullptr) return std::nullopt;
    return record.*member;
}

// Unknown names are ignored.
template <class Record, std::size_t N>
void write_field(const ParamTable<Record, N>& table, Record& record, std::string_view name,
                 double value) {
    if (const auto member = field_member(table, name)) record.*member = value;
}

// Same value as a dictionary round trip that adds `increment` to the entry of `name`.
template <class Record, std::size_t N>
void add_to_field(const ParamTable<Record, N>& table, Record& record, std::string_view name,
                  double increment) {
    if (const auto member = field_member(table, name)) record.*member = record.*member + increment;
}

template <class Record, std::size_t N>
ParamMap table_to_map(const ParamTable<Record, N>& table, const Record& record) {
    ParamMap map;
    map.reserve(N);
    for (const auto& field : table) map.insert_or_assign(field.name, record.*field.member);
    return map;
}

// Missing names keep the record's default; keys the table lacks are ignored.
template <class Record, std::size_t N>
Record table_from_map(const ParamTable<Record, N>& table, const ParamMap& map) {
    Record record{};
    for (const auto& field : table) {
        if (const auto value = map.find(field.name)) record.*field.member = *value;
    }
    return record;
}

}  // namespace korvex
