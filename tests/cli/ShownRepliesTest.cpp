#include "cli/ShownReplies.h"

#include <gtest/gtest.h>

namespace {

using Verdict = TShownReplies::Verdict;

struct Heard {
    int adapter;
    const char* ip;
    const char* info;
    Verdict plain;  // without folding
    Verdict folded; // with --unique
};

} // namespace

// Two devices fit; the third address, and the first on another adapter, are beyond.
TEST(ShownReplies, TwoDevicesShownRepeatsFoldedWhetherShownOrNot) {
    const Heard replies[] = {
        {0, "10.0.0.1", "a", Verdict::Show, Verdict::Show},
        {0, "10.0.0.1", "a", Verdict::Show, Verdict::Fold},
        {0, "10.0.0.1", "b", Verdict::Show, Verdict::Show},
        {0, "10.0.0.2", "a", Verdict::Show, Verdict::Show},
        {0, "10.0.0.3", "a", Verdict::Beyond, Verdict::Beyond},
        {0, "10.0.0.3", "a", Verdict::Beyond, Verdict::Fold},
        {0, "10.0.0.3", "c", Verdict::Beyond, Verdict::Beyond},
        {1, "10.0.0.1", "a", Verdict::Beyond, Verdict::Beyond},
        {0, "10.0.0.2", "a", Verdict::Show, Verdict::Fold},
    };
    TShownReplies plain(false, 2);
    TShownReplies folding(true, 2);
    for (const Heard& reply : replies) {
        SCOPED_TRACE(std::string(reply.ip) + " " + reply.info);
        EXPECT_EQ(plain.Admit(reply.adapter, reply.ip, reply.info), reply.plain);
        EXPECT_EQ(folding.Admit(reply.adapter, reply.ip, reply.info), reply.folded);
    }
}
