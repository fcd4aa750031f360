#include "ui/ColumnListBox.h"
#include "ImageProbe.h"
#include "app/DeviceList.h"
#include "platform/CodePage.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <gtest/gtest.h>

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

// The device list as the main window creates it.
class DeviceList : public ::testing::Test {
protected:
    void SetUp() override {
        SetUpDeviceList(list);
        list.resize(846, 300);
        list.show();
        QApplication::processEvents();
        list.RowList().clearFocus(); // the platform focuses a new window's first control
    }

    int W() { return list.RowList().viewport()->width(); }
    QImage Rows() { return list.RowList().viewport()->grab().toImage(); }
    QImage Row(int index) {
        const int h = list.ItemHeight();
        return Rows().copy(0, index * h, W(), h);
    }

    struct Cell {
        std::string text;
        TRect rect;
    };
    // One row painted from the rectangles the cells must have: the background
    // `fill` on [0, W) x [0, h), and each text at the top of its cell.
    QImage Expected(const std::vector<Cell>& cells, TColor text = clWindowText,
                    TColor fill = clWindow, unsigned flags = DT_NOPREFIX) {
        QImage image(W(), list.ItemHeight(), QImage::Format_RGB32);
        image.fill(Rgb(fill));
        QPainter painter(&image);
        TCanvas canvas(painter);
        canvas.Font = list.Font();
        canvas.Font.Color = text;
        canvas.Brush.Style = TBrushStyle::bsClear;
        for (Cell cell : cells)
            canvas.DrawText(cell.text, cell.rect, flags);
        return image;
    }

    // A mouse event on the header bar at x, halfway down.
    void Mouse(QEvent::Type type, int x, Qt::MouseButtons buttons) {
        QWidget* target = list.Header().viewport();
        QMouseEvent event(type, QPointF(x, 8), target->mapToGlobal(QPointF(x, 8)), Qt::LeftButton,
                          buttons, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }

    void Focus() {
        list.activateWindow();
        list.SetFocus();
        QApplication::processEvents();
        ASSERT_TRUE(list.Focused());
    }

    std::string log; // what hooks and events report; before the list, which may report as it goes
    TColumnListBox list;
};

TEST_F(DeviceList, WorkedExampleDrawsEachFieldUnderItsSection) {
    list.SetItemHeight(34);
    list.Items().Add(";10.0.0.7;;;line1\nline2;");
    const QImage row = Row(0);
    EXPECT_EQ(row, Expected({{"10.0.0.7", {2, 0, 200, 33}}, {"line1\nline2", {202, 0, 560, 33}}}));

    const int line = QFontMetrics(list.Font().ToQFont()).height();
    const QRect address = InkBox(row, {0, 0, 202, 34}, kWhite);
    EXPECT_GE(address.left(), 2);
    EXPECT_LE(address.left(), 4);
    EXPECT_LT(address.bottom(), line);
    EXPECT_FALSE(InkBox(row, {202, 0, 358, line}, kWhite).isNull());         // line1
    EXPECT_FALSE(InkBox(row, {202, line, 358, 33 - line}, kWhite).isNull()); // line2
    EXPECT_TRUE(AllOf(row, {0, 0, 2, 34}, kWhite));
    EXPECT_TRUE(AllOf(row, {200, 0, 2, 34}, kWhite));
    EXPECT_TRUE(AllOf(row, {560, 0, W() - 560, 34}, kWhite));
    EXPECT_TRUE(AllOf(row, {0, 33, W(), 1}, kWhite));
    EXPECT_EQ(OtherThan(row, row.rect(), kWhite, kBlack), 0); // clWindowText, no focus mark
}

TEST_F(DeviceList, ShortRowsCutTheLinesBelowTheCell) {
    list.SetItemHeight(17);
    list.Items().Add(";10.0.0.7;;;line1\nline2;");
    EXPECT_EQ(Row(0), Expected({{"10.0.0.7", {2, 0, 200, 16}}, {"line1", {202, 0, 560, 16}}}));
}

TEST_F(DeviceList, BlankRowsShowOnlyTheBackground) {
    for (const char* row : {"", "   ", "\t\n\r ", ";;;;", "\x01\x20"})
        list.Items().Add(row);
    list.Items().Add("x;;;;");
    const QImage rows = Rows();
    EXPECT_TRUE(AllOf(rows, {0, 0, W(), 16 * 4}, kWhite)); // ";;;;" is not blank but empty
    EXPECT_TRUE(AllOf(rows, {0, 16 * 4, W(), 16}, kWhite));
    EXPECT_TRUE(AllOf(rows, {0, 16 * 5, W(), 16}, kWhite)); // "x" sits in the empty cell 0
    EXPECT_TRUE(AllOf(rows, {0, 16 * 6, W(), 300}, kWhite));
}

// A reply holding the delimiter loses nothing: the last section shows the
// rest of the row, without the row's final delimiter.
TEST_F(DeviceList, TheLastSectionShowsTheRestOfTheRowAndMissingFieldsLeaveCellsEmpty) {
    list.SetHeaderSections({{"A", 100}, {"B", 100}, {"C", 100}});
    list.Items().Add("a;b;c;d;e");
    list.Items().Add("a");
    list.Items().Add("a;b;X3;FW 2.1;");
    EXPECT_EQ(
        Row(0),
        Expected({{"a", {2, 0, 100, 15}}, {"b", {102, 0, 200, 15}}, {"c;d;e", {202, 0, 300, 15}}}));
    EXPECT_EQ(Row(1), Expected({{"a", {2, 0, 100, 15}}}));
    EXPECT_EQ(Row(2), Expected({{"a", {2, 0, 100, 15}},
                                {"b", {102, 0, 200, 15}},
                                {"X3;FW 2.1", {202, 0, 300, 15}}}));
}

TEST_F(DeviceList, ASectionBeyondTheClientWidthEndsAtTheLastPixelButOne) {
    list.SetHeaderSections({{"A", 300}, {"B", 700, TAlignment::taRightJustify}});
    list.Items().Add("x;END");
    QImage expected = Expected({{"x", {2, 0, 300, 15}}});
    {
        QPainter painter(&expected);
        TCanvas canvas(painter);
        canvas.Font = list.Font();
        canvas.Brush.Style = TBrushStyle::bsClear;
        TRect cell{302, 0, W() - 1, 15};
        canvas.DrawText("END", cell, DT_NOPREFIX | DT_RIGHT);
    }
    EXPECT_EQ(Row(0), expected);
    EXPECT_FALSE(list.RowList().horizontalScrollBar()->isVisible());
}

TEST_F(DeviceList, ASelectedRowIsHighlightedAcrossTheWholeWidthWithTheFocusMark) {
    list.Items().Add(";10.0.0.7;;;hello;");
    list.Items().Add(";10.0.0.8;;;other;");
    list.RowList().SetItemIndex(0);
    EXPECT_EQ(Row(0), Expected({{"10.0.0.7", {2, 0, 200, 15}}, {"hello", {202, 0, 560, 15}}},
                               clHighlightText, clHighlight));
    Focus();
    const QImage row = Row(0);
    const QRgb dot = qRgb(255, 135, 40); // clHighlight inverted
    for (int x = 0; x < W(); ++x) {
        EXPECT_EQ(row.pixel(x, 0), x % 2 == 0 ? dot : Rgb(clHighlight)) << x;
        EXPECT_EQ(row.pixel(x, 15), (x + 15) % 2 == 0 ? dot : Rgb(clHighlight)) << x;
    }
    for (int y = 0; y < 16; ++y)
        EXPECT_EQ(row.pixel(W() - 1, y), (W() - 1 + y) % 2 == 0 ? dot : Rgb(clHighlight)) << y;
    EXPECT_EQ(Row(1), Expected({{"10.0.0.8", {2, 0, 200, 15}}, {"other", {202, 0, 560, 15}}}));
}

TEST_F(DeviceList, DisabledListUsesTheDisabledColoursAndNoFocusMark) {
    list.Items().Add(";10.0.0.7;;;a;");
    list.Items().Add(";10.0.0.8;;;b;");
    list.RowList().SetItemIndex(1);
    Focus();
    list.SetEnabled(false);
    list.Items().Add(";10.0.0.9;;;c;"); // as rows arrive during a search
    EXPECT_FALSE(list.Enabled());
    EXPECT_FALSE(list.Header().isEnabled());
    EXPECT_FALSE(list.isEnabled());
    EXPECT_EQ(Row(0), Expected({{"10.0.0.7", {2, 0, 200, 15}}, {"a", {202, 0, 560, 15}}},
                               clInactiveCaption));
    EXPECT_EQ(Row(2), Expected({{"10.0.0.9", {2, 0, 200, 15}}, {"c", {202, 0, 560, 15}}},
                               clInactiveCaption));
    // Selected: highlight inside the inner rectangle, the disabled colour around it.
    QImage selected = Expected({{"10.0.0.8", {2, 0, 200, 15}}, {"b", {202, 0, 560, 15}}},
                               clHighlightText, clHighlight);
    {
        QPainter painter(&selected);
        painter.fillRect(0, 0, 1, 16, kWhite);
        painter.fillRect(W() - 1, 0, 1, 16, kWhite);
        painter.fillRect(0, 15, W(), 1, kWhite);
    }
    EXPECT_EQ(Row(1), selected);
    Mouse(QEvent::MouseButtonPress, 199, Qt::LeftButton); // no divider can be dragged
    Mouse(QEvent::MouseMove, 150, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, 150, Qt::NoButton);
    EXPECT_EQ(list.HeaderSections()[1].Width(), 200);

    list.SetEnabled(true);
    EXPECT_TRUE(list.Enabled() && list.Header().isEnabled() && list.isEnabled());
    EXPECT_EQ(Row(2), Expected({{"10.0.0.9", {2, 0, 200, 15}}, {"c", {202, 0, 560, 15}}}));
}

TEST_F(DeviceList, AnEmptyFocusedListShowsTheFocusMarkOneRowHigh) {
    list.SetItemHeight(20);
    Focus();
    const QImage rows = Rows();
    for (int x = 0; x < W(); ++x) {
        EXPECT_EQ(rows.pixel(x, 0), x % 2 == 0 ? kBlack : kWhite) << x;
        EXPECT_EQ(rows.pixel(x, 19), (x + 19) % 2 == 0 ? kBlack : kWhite) << x;
    }
    EXPECT_TRUE(AllOf(rows, {1, 1, W() - 2, 18}, kWhite));
    EXPECT_TRUE(AllOf(rows, {0, 20, W(), 200}, kWhite));
}

TEST_F(DeviceList, ItemHeightKeepsRowsSelectionTopRowAndFocus) {
    for (int i = 0; i < 100; ++i)
        list.Items().Add(";10.0.0." + std::to_string(i) + ";;;x;");
    QApplication::processEvents();
    EXPECT_TRUE(list.RowList().verticalScrollBar()->isVisible());
    list.RowList().SetTopIndex(50);
    list.RowList().SetItemIndex(55);
    Focus();
    QApplication::processEvents();

    PaintCounter paints(list.RowList().viewport());
    list.SetItemHeight(16);
    list.SetItemHeight(0);
    list.SetItemHeight(-3);
    QApplication::processEvents();
    EXPECT_EQ(paints.count, 0);
    EXPECT_EQ(list.ItemHeight(), 16);

    list.SetItemHeight(20);
    QApplication::processEvents();
    EXPECT_GT(paints.count, 0);
    EXPECT_EQ(list.ItemHeight(), 20);
    EXPECT_EQ(list.Items().Count(), 100);
    EXPECT_EQ(list.Items()[99], ";10.0.0.99;;;x;");
    EXPECT_EQ(list.RowList().TopIndex(), 50);
    EXPECT_EQ(list.RowList().ItemIndex(), 55);
    EXPECT_TRUE(list.Focused());
    EXPECT_EQ(list.RowList().ItemRect(55), (TRect{0, 100, W(), 120}));
}

TEST_F(DeviceList, EnabledSetToItsValueDoesNothing) {
    list.Items().Add("a;b");
    QApplication::processEvents();
    PaintCounter paints(list.RowList().viewport());
    list.SetEnabled(true);
    QApplication::processEvents();
    EXPECT_EQ(paints.count, 0);
    list.SetEnabled(false);
    QApplication::processEvents();
    EXPECT_GT(paints.count, 0);
}

TEST_F(DeviceList, ZeroWidthSectionsTakeNoPixelsAndDraggingOneOpenMovesTheCells) {
    TColumnHeader& header = list.Header();
    EXPECT_EQ(header.geometry(), QRect(2, 2, 842, 17));
    EXPECT_EQ(list.RowList().geometry().top(), 19);
    const int expectedStarts[] = {0, 0, 200, 200, 200};
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(header.sectionViewportPosition(k), expectedStarts[k]) << k;

    list.Items().Add(";10.0.0.7;;;line1;");
    std::vector<std::pair<int, int>> events;
    QObject::connect(&list, &TColumnListBox::HeaderSized,
                     [&](int index, int width) { events.emplace_back(index, width); });
    QObject::connect(&list, &TColumnListBox::HeaderSectionResize,
                     [&](int index) { events.emplace_back(index, -1); });
    Mouse(QEvent::MouseButtonPress, 1, Qt::LeftButton); // the divider where section 0 lies
    Mouse(QEvent::MouseMove, 21, Qt::LeftButton);
    Mouse(QEvent::MouseMove, 41, Qt::LeftButton);
    // Full drag: the rows follow before the button is released.
    EXPECT_EQ(Row(0), Expected({{"10.0.0.7", {42, 0, 240, 15}}, {"line1", {242, 0, 600, 15}}}));
    Mouse(QEvent::MouseButtonRelease, 41, Qt::NoButton);
    const std::vector<std::pair<int, int>> expected = {{0, 20}, {0, -1}, {0, 40}, {0, -1}};
    EXPECT_EQ(events, expected);
    EXPECT_EQ(list.HeaderSections()[0].Width(), 40);
}

TEST_F(DeviceList, SectionWidthsStayWithinTheirBounds) {
    std::vector<THeaderSection> sections(2);
    sections[0].SetMinWidth(30);
    sections[1].SetMaxWidth(80);
    sections[1].SetWidth(500);
    EXPECT_EQ(sections[0].Width(), 50);
    EXPECT_EQ(sections[1].Width(), 80);
    list.SetHeaderSections(sections);
    std::vector<std::pair<int, int>> sized;
    QObject::connect(&list, &TColumnListBox::HeaderSized,
                     [&](int index, int width) { sized.emplace_back(index, width); });
    list.SetSectionWidth(0, 10);
    list.SetSectionWidth(1, 20000);
    EXPECT_EQ(list.HeaderSections()[0].Width(), 30);
    EXPECT_EQ(list.HeaderSections()[1].Width(), 80);
    EXPECT_EQ(list.Header().sectionSize(0), 30);
    EXPECT_EQ(sized, (std::vector<std::pair<int, int>>{{0, 30}}));
    EXPECT_EQ(THeaderSection("x", -5).Width(), 0);
}

TEST_F(DeviceList, HeaderHeightAndVisibilityLayTheRowListOut) {
    list.SetHeaderHeight(30);
    EXPECT_EQ(list.Header().geometry(), QRect(2, 2, 842, 30));
    EXPECT_EQ(list.RowList().geometry(), QRect(2, 32, 842, 266));
    list.SetHeaderVisible(false);
    EXPECT_FALSE(list.Header().isVisible());
    EXPECT_EQ(list.RowList().geometry(), QRect(2, 2, 842, 296));

    const QImage frame = list.grab().toImage();
    EXPECT_EQ(frame.pixel(0, 0), Rgb(clBtnShadow));
    EXPECT_EQ(frame.pixel(1, 1), Rgb(cl3DDkShadow));
    EXPECT_EQ(frame.pixel(845, 299), Rgb(clBtnHighlight));
    EXPECT_EQ(frame.pixel(844, 298), Rgb(cl3DLight));
}

TEST_F(DeviceList, GridLinesAndAlternateColours) {
    TCellStyle style;
    style.GridLines = TGridLines::glBoth;
    style.AlternateColors = true;
    list.SetCellStyle(style);
    list.Items().Add("a;b;c;d;e");
    list.Items().Add("a;b;c;d;e");
    const QImage rows = Rows();
    const QRgb silver = Rgb(clSilver);
    for (const int x : {0, 200, 560}) // at the right boundary of every section
        EXPECT_TRUE(AllOf(rows, {x, 0, 1, 32}, silver)) << x;
    EXPECT_TRUE(AllOf(rows, {1, 14, W() - 2, 1}, silver));
    EXPECT_EQ(rows.pixel(600, 5), kWhite);
    EXPECT_EQ(rows.pixel(600, 16 + 5), silver);  // the odd row is silver ...
    EXPECT_EQ(rows.pixel(600, 16 + 15), kWhite); // ... but not the margin below it
    EXPECT_TRUE(AllOf(rows, {0, 32, W(), 100}, kWhite));
}

TEST_F(DeviceList, DelimiterColumnOptionsAndNoSectionsChangeHowRowsAreCut) {
    const std::string text(200, 'w');
    list.Items().Add("a|b;c;;;" + text);
    TCellStyle style;
    style.ColumnOptions = loEndEllipsis;
    list.SetCellStyle(style);
    EXPECT_EQ(Row(0), Expected({{"c", {2, 0, 200, 15}}, {text, {202, 0, 560, 15}}}, clWindowText,
                               clWindow, DT_NOPREFIX | DT_END_ELLIPSIS));
    list.SetDelimiter('|');
    EXPECT_EQ(Row(0), Expected({{"b;c;;;" + text, {2, 0, 200, 15}}}, clWindowText, clWindow,
                               DT_NOPREFIX | DT_END_ELLIPSIS));
    list.SetHeaderSections({});
    EXPECT_EQ(Row(0), Expected({{"a|b;c;;;" + text, {3, 0, W() - 1, 15}}}, clWindowText, clWindow,
                               DT_NOPREFIX | DT_END_ELLIPSIS));
}

TEST_F(DeviceList, ItemsKeepBytesAndReportBadIndices) {
    const std::string bytes("\0;\xFF\n\xC9", 5);
    EXPECT_EQ(list.Items().Add("first"), 0);
    EXPECT_EQ(list.Items().Add(bytes), 1);
    EXPECT_EQ(list.Items()[1], bytes);
    for (const int index : {2, -1}) {
        try {
            (void)list.Items()[index];
            ADD_FAILURE() << index;
        } catch (const EStringListError& error) {
            EXPECT_EQ(error.Message(), "List index out of bounds (" + std::to_string(index) + ")");
        }
    }
    list.SetItemHeight(40);
    list.Clear();
    EXPECT_EQ(list.Items().Count(), 0);
    EXPECT_EQ(list.ItemHeight(), 40);
    EXPECT_EQ(list.HeaderSections().size(), 5u);
    EXPECT_FALSE(list.RowList().verticalScrollBar()->isVisible());
}

TEST_F(DeviceList, NoRowContentMakesPaintingFail) {
    std::string noise(8192, '\0');
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>((i * 2654435761u) >> 13);
    const std::vector<std::string> rows = {
        noise,
        std::string(8192, ';'),
        std::string(8192, '\0'),
        ";" + std::string(8190, '\n') + ";",
        std::string("\x81;\xFF\xFE;\x80\x80;\xC9;\xC9\xE8", 13),
        ";1.2.3.4;;;" + Utf8ToGbk("设备型号：IP话机\n固件版本：2.1.7\n状态：空闲") + ";",
    };
    list.SetItemHeight(68);
    for (const std::string& row : rows)
        list.Items().Add(row);
    list.RowList().SetItemIndex(2);
    TCellStyle style;
    style.GridLines = TGridLines::glBoth;
    for (const TColumnOptions options :
         {0u, loEndEllipsis | loEditControl, unsigned{loPathEllipsis}}) {
        style.ColumnOptions = options;
        list.SetCellStyle(style);
        const QImage image = Rows();
        for (int i = 0; i < 4; ++i) // the right margin strip is painted on every row
            EXPECT_EQ(image.pixel(W() - 1, i * 68 + 67), i == 2 ? Rgb(clHighlight) : kWhite) << i;
    }
    list.SetHeaderSections({});
    EXPECT_FALSE(Rows().isNull());
    list.SetItemHeight(8193 * 17); // an 8192-line reply's row height, far more rows
    for (int i = 0; i < 20000; ++i)
        list.Items().Add("x");
    list.RowList().SetItemIndex(20005);
    list.RowList().SetTopIndex(0);
    EXPECT_EQ(list.RowList().ItemRect(20005).Top, 1 << 29); // held within range
    EXPECT_FALSE(Rows().isNull());
}

TEST_F(DeviceList, CellLayerHooksRunBetweenColoursFillAndText) {
    list.Items().Add(";10.0.0.7;;;hello;");
    list.SetOnGetLineSettings([&](int index, TOwnerDrawState, TColor& background, TFont& font) {
        log += "settings" + std::to_string(index) + " ";
        background = clNavy;
        font.Color = clHighlight;
    });
    list.SetOnPrepareDrawItem([&](TCanvas& canvas, int, const TRect& inner, TOwnerDrawState) {
        log += "prepare ";
        TBrush stripe{clSilver};
        std::swap(canvas.Brush, stripe);
        canvas.FillRect({inner.Left, inner.Top, 20, inner.Bottom}); // under half the address
        std::swap(canvas.Brush, stripe);
    });
    list.SetOnDrawItem([&](TCanvas& canvas, int index, const TRect& inner, TOwnerDrawState) {
        log += "draw" + std::to_string(index) + " ";
        canvas.Brush.Color = clGray;
        canvas.FillRect(inner);
    });
    using enum TListBoxStyle;
    const struct {
        bool transparent;
        TListBoxStyle style;
        const char* calls;
        QRgb background;
    } cases[] = {{false, lbStandard, "settings0 prepare ", Rgb(clNavy)},
                 {true, lbStandard, "settings0 prepare ", kWhite}, // the row list's fill stays
                 {false, lbOwnerDrawFixed, "draw0 ", Rgb(clGray)},
                 {true, lbVirtualOwnerDraw, "draw0 ", Rgb(clGray)}};
    for (const auto& c : cases) {
        TCellStyle style;
        style.Transparent = c.transparent;
        style.Style = c.style;
        list.SetCellStyle(style);
        log.clear();
        const QImage row = Row(0);
        EXPECT_EQ(log, c.calls);
        EXPECT_EQ(row.pixel(600, 5), c.background) << log;
        if (c.style != lbStandard)
            continue;
        // The text comes last, over the stripe and over the chosen background.
        EXPECT_EQ(OtherThan(row, {1, 0, 19, 15}, Rgb(clSilver), Rgb(clHighlight)), 0);
        EXPECT_EQ(OtherThan(row, {20, 0, W() - 21, 15}, c.background, Rgb(clHighlight)), 0);
        EXPECT_FALSE(InkBox(row, {1, 0, 19, 15}, Rgb(clSilver)).isNull());
    }
}

TEST_F(DeviceList, VirtualWidthScrollsHeaderAndRowsTogether) {
    list.Items().Add(";10.0.0.7;;;line1\nline2;");
    const QImage whole = Row(0);
    const QScrollBar& across = *list.RowList().horizontalScrollBar();
    list.SetVirtualAutoWidth(true);
    list.resize(400, 300); // client width 396: the sections' 560 pixels overflow
    QApplication::processEvents();
    EXPECT_EQ(list.VirtualWidth(), 560);
    EXPECT_EQ(across.maximum(), 560 - W());
    list.RowList().horizontalScrollBar()->setValue(150);
    EXPECT_EQ(list.Header().sectionViewportPosition(4), 50);
    EXPECT_EQ(Row(0), whole.copy(150, 0, W(), 16));
    // Only a sum beyond the client width scrolls; the header comes back with the rows.
    for (const auto& [width, expected] : {std::pair{196, 0}, {197, 397}, {100, 0}}) {
        list.SetSectionWidth(4, width);
        QApplication::processEvents();
        EXPECT_EQ(list.VirtualWidth(), expected) << width;
        EXPECT_EQ(across.isVisible(), expected > 0) << width;
        EXPECT_EQ(list.Header().offset(), across.value()) << width;
    }
    list.SetVirtualAutoWidth(false);
    list.SetVirtualWidth(1000);
    EXPECT_EQ(across.maximum(), 1000 - W());
}

TEST_F(DeviceList, HeaderEventsComeInOrderAndOnlyWhereAllowed) {
    const auto note = [this](const char* what, auto... numbers) {
        log += what + ((std::to_string(numbers) + ",") + ...) + " ";
    };
    QObject::connect(&list, &TColumnListBox::HeaderSectionTrack,
                     [=](int index, int width, TSectionTrackState state) {
                         note("track", index, width, static_cast<int>(state));
                     });
    QObject::connect(&list, &TColumnListBox::HeaderSized,
                     [=](int index, int width) { note("sized", index, width); });
    QObject::connect(&list, &TColumnListBox::HeaderSectionResize,
                     [=](int index) { note("resize", index); });
    QObject::connect(&list, &TColumnListBox::HeaderSectionClick,
                     [=](int index) { note("click", index); });
    const std::string drag = "track1,200,0, track1,202,1, sized1,202, resize1, "
                             "track1,204,1, sized1,204, resize1, track1,204,2, ";
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[] {}, drag + "click4, "},
        {[&] {
             std::vector<THeaderSection> sections = list.HeaderSections();
             sections[4].AllowClick = false;
             list.SetHeaderSections(sections);
         },
         drag},
        {[&] { list.SetHeaderFlat(true); }, drag},
        {[&] { list.SetAllowResize(false); }, ""},
    };
    for (const auto& [setUp, expected] : cases) {
        SetUpDeviceList(list);
        list.SetHeaderFlat(false);
        list.SetAllowResize(true);
        setUp();
        log.clear();
        Mouse(QEvent::MouseButtonPress, 199, Qt::LeftButton); // the divider after section 1
        Mouse(QEvent::MouseMove, 201, Qt::LeftButton);
        Mouse(QEvent::MouseMove, 203, Qt::LeftButton);
        Mouse(QEvent::MouseButtonRelease, 203, Qt::NoButton);
        Mouse(QEvent::MouseButtonPress, 400, Qt::LeftButton); // a click on section 4
        Mouse(QEvent::MouseButtonRelease, 400, Qt::NoButton);
        EXPECT_EQ(log, expected);
        EXPECT_EQ(list.HeaderSections()[1].Width(), expected.empty() ? 200 : 204) << expected;
    }
}

TEST_F(DeviceList, HeaderLookFollowsHotTrackFlatAndTheSectionHook) {
    const auto header = [&] { return list.Header().viewport()->grab().toImage(); };
    const QImage plain = header();
    list.SetHeaderHotTrack(true);
    Mouse(QEvent::MouseMove, 400, Qt::NoButton);
    const QImage hot = header();
    EXPECT_EQ(hot.copy(0, 0, 200, 17), plain.copy(0, 0, 200, 17));
    int bluish = 0; // the smoothed caption, in the highlight colour
    for (int x = 202; x < 260; ++x)
        for (int y = 0; y < 17; ++y)
            bluish += qBlue(hot.pixel(x, y)) > qRed(hot.pixel(x, y)) + 80;
    EXPECT_GT(bluish, 10);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(list.Header().viewport(), &leave);
    EXPECT_EQ(header(), plain);

    list.SetHeaderFlat(true);
    EXPECT_EQ(header().pixel(100, 1), Rgb(clBtnFace));
    EXPECT_TRUE(AllOf(header(), {199, 0, 1, 17}, Rgb(clBtnShadow)));
    list.SetHeaderFlat(false);
    list.SetOnHeaderDrawSection([&](TCanvas& canvas, int index, const TRect& rect, bool pressed) {
        log += std::to_string(index) + (pressed ? "pressed " : " ");
        canvas.Brush.Color = clNavy;
        canvas.FillRect({rect.Left + 1, rect.Top + 1, rect.Right - 1, rect.Bottom - 1});
    });
    Mouse(QEvent::MouseButtonPress, 400, Qt::LeftButton);
    log.clear();
    EXPECT_TRUE(AllOf(header(), {1, 1, 198, 15}, Rgb(clNavy)));
    EXPECT_EQ(log, "1 4pressed "); // sections of width 0 are not drawn
    Mouse(QEvent::MouseButtonRelease, 400, Qt::NoButton);
}

TEST_F(DeviceList, SelectReportsOnlyTheUsersSelectionChanges) {
    for (int i = 0; i < 3; ++i)
        list.Items().Add("row;" + std::to_string(i));
    QObject::connect(&list, &TColumnListBox::Select,
                     [&](int index) { log += std::to_string(index); });
    list.RowList().SetItemIndex(0); // the program, not the user
    for (int click = 0; click < 2; ++click) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 20), QPointF(10, 20),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list.RowList().viewport(), &press);
    }
    for (const int key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Home}) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&list.RowList(), &event);
    }
    EXPECT_EQ(log, "120");
}

} // namespace

TEST_F(DeviceList, AssistiveToolsReadTheListItsRowsAndItsHeader) {
    list.setAccessibleName(QString::fromUtf8("设备列表"));
    list.Items().Add(";192.168.1.20;;;abc;");
    list.Items().Add("Phone;192.168.1.21;00-11;2.1;\xC9\xE8\xB1\xB8");
    list.RowList().SetItemIndex(1);
    Focus();
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(&list.RowList(), &up);
    QAccessibleInterface* rows = QAccessible::queryAccessibleInterface(&list.RowList());
    EXPECT_EQ(rows->role(), QAccessible::List);
    EXPECT_EQ(rows->text(QAccessible::Name), QString::fromUtf8("设备列表"));
    ASSERT_EQ(rows->childCount(), 2);
    const char* names[] = {"192.168.1.20, abc", "192.168.1.21, 设备"};
    for (int i = 0; i < 2; ++i) {
        QAccessibleInterface* row = rows->child(i);
        EXPECT_EQ(row->role(), QAccessible::ListItem);
        EXPECT_EQ(row->text(QAccessible::Name), QString::fromUtf8(names[i]));
        EXPECT_EQ(row->state().selected && row->state().focused, i == 0) << i;
        EXPECT_EQ(rows->indexOfChild(row), i);
    }
    EXPECT_EQ(rows->focusChild(), rows->child(0)) << "what a tool reads on a focus change";
    QAccessibleInterface* header = QAccessible::queryAccessibleInterface(&list.Header());
    EXPECT_EQ(header->childCount(), 5);
    EXPECT_EQ(header->child(1)->text(QAccessible::Name), QString::fromUtf8("设备IP"));
}
