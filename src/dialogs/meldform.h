#pragma once
// The message window: longer texts in a fixed-width font, widening to the longest line.
#include <QDialog>

class QPlainTextEdit;
class QPushButton;
class QFrame;
namespace Ui { class meldform; }

class Tmeldform : public QDialog {
    Q_OBJECT
public:
    explicit Tmeldform(QWidget *parent = nullptr);
    ~Tmeldform() override;

    QPlainTextEdit *melding;
    QPlainTextEdit *ememo;
    QPlainTextEdit *resmemo;
    QFrame *Panel1;
    QPushButton *Button1;
    QPushButton *BitBtn1;
    QPushButton *emailnaar;

    // Puts text in the memo and widens the window to its longest line.
    void setMessage(const QString &text);
    // Pixel width of the widest line of the memo in the window's font.
    int widestLine() const;

    void Button1Click();
    void BitBtn1Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    Ui::meldform *ui;
};

// The one message window; created on first use when there is an application.
Tmeldform *MessageWindow();
// Creates it now (at program start) so that it exists before the first message.
void CreateMessageWindow();
