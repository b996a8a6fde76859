#include "FilterChains.h"

#include "AVFilterHlpr.h"
#include "AVUtilHlpr.h"
#include "LibraryHandles.h"

namespace {

// An open end of the chain's text, bound to a filter of the graph.
TFilterInOutPtr OpenEnd(const char* name, AVFilterContext* filter) {
    TFilterInOutPtr end(ff::avfilter_inout_alloc());
    if (!end) return end;
    end->name = ff::av_strdup(name);
    end->filter_ctx = filter;
    end->pad_idx = 0;
    end->next = nullptr;
    if (!end->name) end.reset();
    return end;
}

}  // namespace

AVFilterContext* CreateFilter(AVFilterGraph* graph, const char* kind, const char* name, const std::string& args) {
    const AVFilter* filter = ff::avfilter_get_by_name(kind);
    AVFilterContext* context = nullptr;
    if (!filter ||
        ff::avfilter_graph_create_filter(&context, filter, name, args.empty() ? nullptr : args.c_str(), nullptr,
                                         graph) < 0)
        return nullptr;
    return context;
}

int LinkFilterChain(AVFilterGraph* graph, AVFilterContext* from, AVFilterContext* to, const std::string& chain) {
    TFilterInOutPtr outputs = OpenEnd("in", from);
    TFilterInOutPtr inputs = OpenEnd("out", to);
    if (!outputs || !inputs) return AVERROR(ENOMEM);
    AVFilterInOut* inputs_list = inputs.release();
    AVFilterInOut* outputs_list = outputs.release();
    const int parsed = ff::avfilter_graph_parse_ptr(graph, chain.c_str(), &inputs_list, &outputs_list, nullptr);
    ff::avfilter_inout_free(&inputs_list);
    ff::avfilter_inout_free(&outputs_list);
    return parsed;
}
