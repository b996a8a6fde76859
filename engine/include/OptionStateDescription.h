#pragma once
// The option state as name=value pairs, one per field, for people and for
// comparing states in tests: first the fields no option row stores into, in
// the order they are documented, then those of the option rows, in the
// table's order.

#include <string>
#include <utility>
#include <vector>

class TCustomFFmpeg;

using TOptionStateLines = std::vector<std::pair<std::string, std::string>>;

TOptionStateLines DescribeOptionState(const TCustomFFmpeg& engine);
