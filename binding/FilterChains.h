#pragma once
// Building filter graphs: a filter of a kind by name, and a chain of filters
// written as text put between two filters of the graph.

#include <string>

extern "C" {
#include <libavfilter/avfilter.h>
}

// The filter, or nullptr when the libraries lack the kind or refuse the
// arguments.
AVFilterContext* CreateFilter(AVFilterGraph* graph, const char* kind, const char* name, const std::string& args);
// Puts the filters `chain` names between the output of `from` and the input
// of `to`; the library's result (negative on failure).
int LinkFilterChain(AVFilterGraph* graph, AVFilterContext* from, AVFilterContext* to, const std::string& chain);
