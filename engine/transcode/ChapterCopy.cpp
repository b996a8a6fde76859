#include "ChapterCopy.h"

#include <algorithm>

#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "FFMpegException.h"

int CopyChapters(const AVFormatContext* input, AVFormatContext* output, int64_t offset_us, int64_t end_us) {
    if (output->nb_chapters > 0) return 0;
    int copied = 0;
    for (unsigned n = 0; n < input->nb_chapters; ++n) {
        const AVChapter* source = input->chapters[n];
        if (source->time_base.num <= 0 || source->time_base.den <= 0 || source->end < source->start) continue;
        const int64_t start = ff::av_rescale_q(source->start, source->time_base, AV_TIME_BASE_Q) + offset_us;
        int64_t end = ff::av_rescale_q(source->end, source->time_base, AV_TIME_BASE_Q) + offset_us;
        if (end_us >= 0) {
            if (start >= end_us) continue;
            end = std::min(end, end_us);
        }
        if (end <= 0) continue;
        // The list grows by one each time: chapters are few.
        auto** list = static_cast<AVChapter**>(ff::av_malloc((output->nb_chapters + 1) * sizeof(AVChapter*)));
        auto* chapter = static_cast<AVChapter*>(ff::av_mallocz(sizeof(AVChapter)));
        if (!list || !chapter || ff::av_dict_copy(&chapter->metadata, source->metadata, 0) < 0) {
            if (chapter) ff::av_dict_free(&chapter->metadata);
            ff::av_free(chapter);
            ff::av_free(list);
            throw FFMpegException("av_mallocz fail");
        }
        chapter->id = copied;
        chapter->time_base = AV_TIME_BASE_Q;
        chapter->start = std::max<int64_t>(start, 0);
        chapter->end = end;
        std::copy_n(output->chapters, output->nb_chapters, list);
        list[output->nb_chapters] = chapter;
        ff::av_free(output->chapters);
        output->chapters = list;
        ++output->nb_chapters;
        ++copied;
    }
    return copied;
}
