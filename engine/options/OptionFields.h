#pragma once
// The option state's fields that an option row stores into, with their
// values, in the table's order: what describes those fields to people.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

struct TOptionState;

struct TOptionFieldValue {
    std::string_view field;
    std::variant<int64_t, double, std::string> value;
};

std::vector<TOptionFieldValue> OptionFieldValues(const TOptionState& state);
