// Sluiten asks before a scan or a typed text that no save used is los
#include "scan_fixture.h"

#include <QApplication>
#include <QKeyEvent>

namespace {

const QString kQuestion = "De scan is nog niet opgeslagen. Toch afsluiten?";

class CloseTest : public ScanWindowTest {
protected:
    void SetUp() override
    {
        ScanWindowTest::SetUp();
        ui().bidprentmode->setChecked(false);
        // Every run saves into a folder of its own.
        const QString folder = program.folder() + "doel" + QString::number(++runs) + "/";
        QDir().mkpath(folder);
        ui().doelmap->setText(folder);
        ui().fnedit->setText("document");
        ui().herstart->setChecked(false);
        ui().altijdfnvraag->setChecked(false);
    }
    int runs = 0;
};

TEST_F(CloseTest, SluitenAsksOnlyWhileWorkWouldBeLost)
{
    struct Case {
        const char *what;
        std::function<void()> before;
        bool asked;
    };
    const Case cases[] = {
        {"nothing shown", [] {}, false},
        {"a scan", [this] { scanner.image = quarters(40, 30); ui().Scanbut->click(); }, true},
        {"a scan saved", [this] {
             scanner.image = quarters(40, 30);
             ui().Scanbut->click();
             ui().save->click();
         }, false},
        {"a saved scan turned", [this] {
             scanner.image = quarters(40, 30);
             ui().Scanbut->click();
             ui().save->click();
             ui().BitBtn1->click();
         }, true},
        {"typed text alone", [this] { ui().Memo1->setPlainText("oma"); }, true},
        {"text used by a save", [this] {
             scanner.image = quarters(40, 30);
             ui().Scanbut->click();
             ui().Memo1->setPlainText("oma");
             ui().save->click();
         }, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        for (ModalResult answer : {ModalResult::No, ModalResult::Yes}) {
            SetUp();
            form->show();
            c.before();
            const size_t before = prompts.transcript().size();
            if (c.asked)
                prompts.answer({answer, {}, {}, {}});
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(form.get(), &escape);
            const auto &said = prompts.transcript();
            ASSERT_EQ(said.size(), before + (c.asked ? 1 : 0));
            if (c.asked) {
                EXPECT_EQ(said.back().text, kQuestion);
                EXPECT_EQ(said.back().defaultChoice, ModalResult::No);
            }
            const bool closes = !c.asked || answer == ModalResult::Yes;
            EXPECT_EQ(form->result(), closes ? int(ModalResult::Ok) : 0);
        }
    }
}

}
