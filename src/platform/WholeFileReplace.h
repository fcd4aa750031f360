#pragma once

#include <string>
#include <sys/types.h>

// Replacing a file whole, so that a reader sees the old file or the new one,
// never a part: the text goes to a new file beside it, which is renamed over
// it. A failure at any point leaves the old file as it was and no new file.

enum class TReplaceStep { Done, Create, Write };

struct TReplaceOutcome {
    TReplaceStep Step = TReplaceStep::Done; // the step that failed, or Done
    int Error = 0;                          // its errno
};

// `temporary` is the new file's name as a mkostemp template ("…XXXXXX") in
// `path`'s folder; the new file gets `mode`, and with `sync` reaches the disk
// before the rename.
TReplaceOutcome ReplaceWholeFile(const std::string& path, std::string temporary,
                                 const std::string& text, mode_t mode, bool sync);
