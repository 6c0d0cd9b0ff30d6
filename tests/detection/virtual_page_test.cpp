// The program's own virtual scanner must give what a user expects from series
// mode with the default settings: six cards, in rows, numbered left to right.
#include "detection/item_detection.h"
#include "detection/reading_order.h"
#include "scanner/bridge/virtual_scanner.h"

#include <gtest/gtest.h>

TEST(VirtualPage, SixCardsFoundInRowsLeftToRightOnBothSides)
{
    for (int dpi : {75, 150}) {
        for (bool back : {false, true}) {
            const QImage page = VirtualScanPage(dpi, back);
            DetectionSettings s;  // white glass, tolerance 3, minimum 50, margin 2 %
            ScanBoxList boxes = DetectItems(page, {0, 0, page.width(), page.height()}, s);
            OrderBoxes(boxes, 0);
            ASSERT_EQ(boxes.size(), 6u) << dpi << (back ? " back" : " front");
            const std::vector<QRect> cards = VirtualCardRects(dpi);
            for (size_t i = 0; i < 6; ++i) {
                // Each box holds its card, in the order the cards lie.
                const QRect box(boxes[i].left, boxes[i].top, boxes[i].width(), boxes[i].height());
                EXPECT_TRUE(box.contains(cards[i])) << "box " << i << " at " << dpi;
            }
        }
    }
}
