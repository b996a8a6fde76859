#pragma once
// The option state as name=value pairs, one per field in the order the
// fields are documented, for people and for comparing states in tests.

#include <string>
#include <utility>
#include <vector>

class TCustomFFmpeg;

using TOptionStateLines = std::vector<std::pair<std::string, std::string>>;

TOptionStateLines DescribeOptionState(const TCustomFFmpeg& engine);
