#pragma once
// "Kaartgegevens controleren": one row per card, the facts read from its back
// to check and correct before the series is saved.
#include "records/card_facts.h"

#include <QDialog>
#include <QImage>
#include <QList>

namespace Ui {
class kaartgegevensform;
}

struct CardReviewRow {
    QImage back;      // the card's back, shown small
    CardFacts facts;
    QString sameAs;   // the earlier file of the same front, or empty
    bool save = true; // a card scanned before is saved again only when ticked
};

class Tkaartgegevensform : public QDialog {
    Q_OBJECT
public:
    explicit Tkaartgegevensform(QWidget *parent = nullptr);
    ~Tkaartgegevensform() override;

    void setCards(const QList<CardReviewRow> &rows);
    // The rows with what the user typed: a typed value is no longer uncertain.
    QList<CardReviewRow> cards() const;
    int factColumn(const QString &column) const; // the table column of a fact

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    Ui::kaartgegevensform *ui;
    QList<CardReviewRow> m_rows;
};

// Shows the table through the prompts seam; true with the checked and corrected
// rows when the user saves, false (rows unchanged) when he goes back.
bool ReviewCardFacts(QList<CardReviewRow> &rows, QWidget *parent = nullptr);
