#include "dialogs/card_review.h"

#include "common/prompts.h"
#include "ui_kaartgegevensform.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QAbstractItemDelegate>

namespace {

constexpr int kSaveColumn = 0, kBackColumn = 1, kFirstFact = 2;
const QColor kDoubted(255, 214, 153);

QStringList Headers()
{
    return {"Opslaan",   "Achterkant",       "Voornamen",         "Tussenvoegsel",
            "Achternaam", "Geslacht",        "Geboortedatum",     "Geboorteplaats",
            "Overlijdensdatum", "Overlijdensplaats", "Partner", "Relatie", "Leeftijd"};
}

} // namespace

Tkaartgegevensform::Tkaartgegevensform(QWidget *parent) : QDialog(parent), ui(new Ui::kaartgegevensform)
{
    ui->setupUi(this);
    ui->knoppen->button(QDialogButtonBox::Save)->setText(QStringLiteral("Opslaan"));
    ui->knoppen->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Terug"));
    connect(ui->knoppen, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->knoppen, &QDialogButtonBox::rejected, this, &QDialog::reject);
    ui->kaarttabel->setColumnCount(int(Headers().size()));
    ui->kaarttabel->setHorizontalHeaderLabels(Headers());
    ui->kaarttabel->verticalHeader()->setDefaultSectionSize(72);
    ui->kaarttabel->setIconSize(QSize(48, 68));
    // In a field being typed in, Enter takes the value and saves and Escape goes
    // back, as they do everywhere else in the table.
    connect(ui->kaarttabel->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
            [this](QWidget *, QAbstractItemDelegate::EndEditHint hint) {
                if (hint == QAbstractItemDelegate::SubmitModelCache)
                    QMetaObject::invokeMethod(this, &QDialog::accept, Qt::QueuedConnection);
                else if (hint == QAbstractItemDelegate::RevertModelCache)
                    QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
            });
}

Tkaartgegevensform::~Tkaartgegevensform() { delete ui; }

int Tkaartgegevensform::factColumn(const QString &column) const
{
    const qsizetype i = CardFactColumns().indexOf(column);
    return i < 0 ? -1 : kFirstFact + int(i);
}

void Tkaartgegevensform::setCards(const QList<CardReviewRow> &rows)
{
    m_rows = rows;
    QTableWidget *t = ui->kaarttabel;
    t->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const CardReviewRow &row = rows[r];
        auto *save = new QTableWidgetItem(row.sameAs.isEmpty() ? QString() : QStringLiteral("al gescand als ") + row.sameAs);
        save->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        save->setCheckState(row.save ? Qt::Checked : Qt::Unchecked);
        t->setItem(r, kSaveColumn, save);
        auto *back = new QTableWidgetItem;
        back->setFlags(Qt::ItemIsEnabled);
        if (!row.back.isNull())
            back->setIcon(QIcon(QPixmap::fromImage(row.back.scaled(96, 136, Qt::KeepAspectRatio, Qt::SmoothTransformation))));
        t->setItem(r, kBackColumn, back);
        for (const QString &column : CardFactColumns()) {
            auto *item = new QTableWidgetItem(CardFactValue(row.facts, column));
            if (row.facts.isUncertain(column)) {
                item->setBackground(kDoubted);
                item->setToolTip(QStringLiteral("Onzeker: ") + row.facts.reasons.value(column, QStringLiteral("twijfel bij het lezen")));
            }
            t->setItem(r, factColumn(column), item);
        }
    }
    t->resizeColumnsToContents();
    if (!rows.isEmpty())
        t->setCurrentCell(0, kFirstFact);
}

QList<CardReviewRow> Tkaartgegevensform::cards() const
{
    QList<CardReviewRow> rows = m_rows;
    for (int r = 0; r < rows.size(); ++r) {
        CardReviewRow &row = rows[r];
        row.save = ui->kaarttabel->item(r, kSaveColumn)->checkState() == Qt::Checked;
        for (const QString &column : CardFactColumns()) {
            const QString typed = ui->kaarttabel->item(r, factColumn(column))->text();
            if (typed == CardFactValue(row.facts, column))
                continue;
            SetCardFactValue(row.facts, column, typed);
            row.facts.uncertain.removeAll(column);
            row.facts.reasons.remove(column);
        }
    }
    return rows;
}

void Tkaartgegevensform::keyPressEvent(QKeyEvent *event)
{
    // Enter saves from anywhere in the table, once a field being typed in is taken.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool ReviewCardFacts(QList<CardReviewRow> &rows, QWidget *parent)
{
    Tkaartgegevensform form(parent);
    form.setCards(rows);
    if (prompts().runModal(form, QStringLiteral("kaartgegevens")) != ModalResult::Ok)
        return false;
    rows = form.cards();
    return true;
}
