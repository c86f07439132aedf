#pragma once

#include "bufferedoutput.h"

#include <cerrno>
#include <cstdio>

namespace zefto::cli {

// Standard output for listings, with every write checked: bytes are
// buffered and written straight to the descriptor, and finish() reports a
// failure of any write, of the last flush and of the close. With `paged` and
// a terminal on standard output, the text goes through $PAGER instead;
// quitting the pager early is no failure.
class StandardOutput final : public records::BufferedOutput {
public:
    explicit StandardOutput(bool paged);
    ~StandardOutput() override;

    // Flushes and closes; false when anything could not be written.
    bool finish();

protected:
    // Quitting the pager early closes its pipe: that ends the listing, not the program.
    bool readerGone(int error) const override { return error == EPIPE && m_pager; }

private:
    FILE *m_pager = nullptr;
};

// Flushes the C library's standard output and closes it; false when either
// fails, or an earlier write did, with the reason in `why` (empty when an
// earlier write failed and its reason is gone). For output written through stdio.
bool closeStdioOutput(QString *why);

} // namespace zefto::cli
