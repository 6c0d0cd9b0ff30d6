#pragma once
// The log window: diagnostic lines that can be saved, printed and cleared.
#include <QMainWindow>

class QPlainTextEdit;
namespace Ui { class logform; }

class Tlogform : public QMainWindow {
    Q_OBJECT
public:
    explicit Tlogform(QWidget *parent = nullptr);
    ~Tlogform() override;

    QPlainTextEdit *logmem;

    // Adds text and a line end after the last character.
    void append(const QString &text);
    // The log with CR LF line ends.
    QString logText() const;

    void Opslaan1Click();
    void Afdrukken1Click();
    void Schermwissen1Click();

protected:
    void keyReleaseEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Ui::logform *ui;
};

// The log window when it has been created, else nullptr.
Tlogform *LogWindow();
