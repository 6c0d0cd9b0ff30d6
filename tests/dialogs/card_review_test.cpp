// Checking the facts of a series before it is saved: doubted fields stand out
// and say why, typing changes what is written, Enter saves, Escape goes back.
#include "dialogs/card_review.h"
#include "dialogs/modal_helper.h"
#include "fakes/scripted_prompts.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableWidget>
#include <gtest/gtest.h>

namespace {

QList<CardReviewRow> Rows()
{
    CardReviewRow doubted;
    doubted.facts = ReadCardFacts("Bid voor de ziel van\nPieter Jansen\ngeboren te Gouda den 31 februari 1880\n"
                                  "overleden te Delft den 2 mei 1950");
    doubted.back = QImage(560, 950, QImage::Format_RGB32);
    doubted.back.fill(Qt::white);
    CardReviewRow again;
    again.facts = ReadCardFacts("Bid voor de ziel van\nAnna Maas\ngeboren 1901\noverleden 1970");
    again.sameAs = "kaart012.JPG";
    again.save = false;
    return {doubted, again};
}

void Press(QWidget *w, int key)
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &down);
}

QLineEdit *OpenEditor(QTableWidget *table)
{
    for (QLineEdit *e : table->findChildren<QLineEdit *>())
        if (e->isVisible())
            return e;
    return nullptr;
}

} // namespace

TEST(CardReview, DoubtedFieldsShowWhyAndScannedCardsAreMarked)
{
    Tkaartgegevensform form;
    form.setCards(Rows());
    auto *table = form.findChild<QTableWidget *>("kaarttabel");
    ASSERT_TRUE(table);
    const QTableWidgetItem *birth = table->item(0, form.factColumn("geboortedatum"));
    EXPECT_EQ(birth->text(), "1880-02-31");
    EXPECT_EQ(birth->toolTip(), "Onzeker: Deze datum bestaat niet.");
    EXPECT_NE(birth->background(), table->item(0, form.factColumn("geboorteplaats"))->background());
    EXPECT_EQ(table->item(1, 0)->text(), "al gescand als kaart012.JPG");
    EXPECT_EQ(table->item(1, 0)->checkState(), Qt::Unchecked);
    EXPECT_EQ(form.windowTitle(), "Kaartgegevens controleren");
}

TEST(CardReview, TypedValueIsKeptAndEnterSavesEscapeGoesBack)
{
    for (const bool save : {true, false}) {
        SCOPED_TRACE(save);
        Tkaartgegevensform form;
        form.setCards(Rows());
        WhenModal([&](QWidget *) {
            auto *table = form.findChild<QTableWidget *>("kaarttabel");
            table->setCurrentCell(0, form.factColumn("geboortedatum")); // a field opens for typing as it is reached
            QLineEdit *editor = OpenEditor(table);
            ASSERT_TRUE(editor);
            editor->setText("1880-02-21");
            Press(editor, Qt::Key_Tab); // on to the next field, the typed value taken
            QLineEdit *next = OpenEditor(table);
            Press(next ? static_cast<QWidget *>(next) : table, save ? Qt::Key_Return : Qt::Key_Escape);
            // The editor takes Enter in its own time; no answer at all fails rather than hangs.
            for (int i = 0; i < 200 && form.isVisible(); ++i)
                QCoreApplication::processEvents();
            if (form.isVisible())
                form.done(-1);
        });
        EXPECT_EQ(form.exec(), save ? QDialog::Accepted : QDialog::Rejected);
        const QList<CardReviewRow> rows = form.cards();
        EXPECT_EQ(rows[0].facts.birthDate, "1880-02-21");
        EXPECT_FALSE(rows[0].facts.isUncertain("geboortedatum"));
        EXPECT_FALSE(rows[1].save);
    }
}

TEST(CardReview, GoingBackLeavesTheRowsAsTheyWere)
{
    ScriptedPrompts prompts;
    const auto edit = [](QDialog &d) {
        auto *table = d.findChild<QTableWidget *>("kaarttabel");
        table->item(1, 0)->setCheckState(Qt::Checked);
        table->item(1, static_cast<Tkaartgegevensform &>(d).factColumn("achternaam"))->setText("Maas-Smits");
    };
    prompts.answer({ModalResult::Cancel, {}, {}, edit});
    prompts.answer({ModalResult::Ok, {}, {}, edit});
    QList<CardReviewRow> rows = Rows();
    EXPECT_FALSE(ReviewCardFacts(rows));
    EXPECT_EQ(rows[1].facts.surname, "Maas");
    EXPECT_TRUE(ReviewCardFacts(rows));
    EXPECT_EQ(rows[1].facts.surname, "Maas-Smits");
    EXPECT_TRUE(rows[1].save);
    EXPECT_EQ(prompts.texts(), QStringList({"kaartgegevens", "kaartgegevens"}));
}
