// Boxes raised by received messages: the same text adds to its open box, a few open at once, a few
// more wait for one to close, the rest are dropped.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>

#include "common/message_box.h"

using namespace orb::room;

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "test_message_box";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

std::vector<QMessageBox*> OpenBoxes() {
    std::vector<QMessageBox*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) out.push_back(b);
    return out;
}

}  // namespace

TEST(NoticeBoxes, OffersAndClosesAsATable) {
    using O = TNoticeBoxes::TOffer;
    TNoticeBoxes g;
    struct Step {
        char op;  // 'o' offer, 'c' close
        std::string key;
        O offer;             // for 'o'
        std::string opened;  // for 'c': the key opened next ("" none)
    } steps[] = {
        {'o', "a", O::Open, ""},     {'o', "a", O::Added, ""},    {'o', "b", O::Open, ""},
        {'o', "c", O::Open, ""},     {'o', "d", O::Queued, ""},   {'o', "d", O::Added, ""},
        {'o', "e", O::Queued, ""},   {'c', "b", O::Open, "d"},    {'o', "d", O::Added, ""},
        {'c', "x", O::Open, ""},     {'c', "a", O::Open, "e"},    {'c', "c", O::Open, ""},
        {'o', "c", O::Open, ""},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(std::string(1, s.op) + s.key);
        if (s.op == 'o') {
            EXPECT_EQ(g.Offer(s.key), s.offer);
        } else {
            auto next = g.Closed(s.key);
            EXPECT_EQ(next.value_or(""), s.opened);
        }
        EXPECT_LE(g.OpenCount(), TNoticeBoxes::kMaxOpen);
    }
    EXPECT_EQ(g.Count("d"), 3);  // offered while queued, then once more while open
    EXPECT_EQ(g.Count("a"), 0);
    for (size_t i = 0; i < TNoticeBoxes::kMaxQueued; ++i) g.Offer("q" + std::to_string(i));
    EXPECT_EQ(g.QueuedCount(), TNoticeBoxes::kMaxQueued);
    EXPECT_EQ(g.Offer("one too many"), O::Dropped);
}

TEST(NoticeBoxes, ABurstOfRepliesOpensOneBoxThatCountsAndClosingOneOpensTheNextText) {
    App();
    QMessageBox* first = ShowPlainMessage(nullptr, QMessageBox::Critical, "Failed <b>sharing</b>");
    ASSERT_TRUE(first);
    for (int i = 1; i < 1000; ++i) EXPECT_EQ(ShowPlainMessage(nullptr, QMessageBox::Critical, "Failed <b>sharing</b>"), nullptr);
    EXPECT_EQ(OpenBoxes().size(), 1u);
    EXPECT_EQ(first->informativeText(), "(1000 times)");
    EXPECT_EQ(first->textFormat(), Qt::PlainText);

    for (int i = 0; i < 4; ++i) ShowPlainMessage(nullptr, QMessageBox::Warning, QString("other %1").arg(i));
    EXPECT_EQ(OpenBoxes().size(), TNoticeBoxes::kMaxOpen);
    EXPECT_EQ(OpenNoticeBoxes(), TNoticeBoxes::kMaxOpen);
    first->reject();  // the user closes it: a waiting text gets its box
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    auto open = OpenBoxes();
    ASSERT_EQ(open.size(), TNoticeBoxes::kMaxOpen);
    int others = 0;
    for (QMessageBox* b : open) others += b->text().startsWith("other ");
    EXPECT_EQ(others, 3);
    // A box whose parent goes takes the waiting ones with it; nothing is opened on the way out.
    for (QMessageBox* b : open) delete b;
    EXPECT_EQ(OpenNoticeBoxes(), 0u);
    EXPECT_TRUE(OpenBoxes().empty());
}
