#include "common/filez.h"
#include "dialogs/log.h"
#include "dialogs/logform.h"
#include "fakes/file_bytes.h"
#include "fakes/scripted_prompts.h"
#include "fakes/temp_program.h"
#include "fakes/file_bytes.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPrinterInfo>
#include <QScreen>
#include <gtest/gtest.h>

namespace {
Tlogform *freshLog()
{
    AddToLog("start");
    Tlogform *log = LogWindow();
    log->Schermwissen1Click();
    return log;
}

void releaseEscape(QWidget *w)
{
    QKeyEvent up(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(w, &up);
}
}

TEST(LogWindow, LinesArriveInOrderAndClearStartsAfresh)
{
    Tlogform *log = freshLog();
    EXPECT_TRUE(AddToLog("1"));
    EXPECT_TRUE(AddToLog("2"));
    EXPECT_EQ(log->logText(), "1\r\n2\r\n");
    EXPECT_TRUE(log->isVisible());
    EXPECT_EQ(log->windowTitle(), "log");
    // The layout's place lies below small screens; it is pulled onto this one.
    EXPECT_TRUE(log->screen()->geometry().contains(QRect(log->pos(), log->size())));

    log->Schermwissen1Click();
    EXPECT_TRUE(log->isVisible());
    AddToLog("3\r\nvier");
    EXPECT_EQ(log->logText(), "3\r\nvier\r\n");
    EXPECT_EQ(LogWindow(), log);  // one window for the whole run
}

TEST(LogWindow, EscapeAndCloseHideAndKeepTheText)
{
    Tlogform *log = freshLog();
    AddToLog("a");
    releaseEscape(log->logmem);
    EXPECT_FALSE(log->isVisible());
    AddToLog("b");
    EXPECT_TRUE(log->isVisible());
    EXPECT_EQ(log->logText(), "a\r\nb\r\n");

    log->close();
    EXPECT_FALSE(log->isVisible());
    EXPECT_EQ(LogWindow(), log);
    AddToLog("c");
    EXPECT_EQ(log->logText(), "a\r\nb\r\nc\r\n");
}

TEST(LogWindow, SaveWritesTheTextWithItsOwnLineEnd)
{
    TempProgram t;
    ScriptedPrompts p;
    Tlogform *log = freshLog();
    AddToLog("a");
    p.answerOk(t.path("log.txt"));
    log->Opslaan1Click();
    EXPECT_EQ(readAll(t.path("log.txt")), "a\r\n\r\n");
    ASSERT_EQ(p.transcript().size(), 1u);
    EXPECT_EQ(p.transcript()[0].kind, "save");
    EXPECT_EQ(p.transcript()[0].value, t.folder().chopped(1));

    p.answerCancel();
    log->Opslaan1Click();
    EXPECT_EQ(readAll(t.path("log.txt")), "a\r\n\r\n");
}

TEST(LogWindow, CommonCodeLogsIntoTheWindowOnceInstalled)
{
    Tlogform *log = freshLog();
    const LogSink before = CurrentLogSink();
    InstallLogWindow();
    WriteTextFile("verloren", "");
    SetLogSink(before);
    EXPECT_TRUE(log->logText().startsWith("fout #fn1 (lege bestandsnaam):\r\n\r\n[verloren\r\n"));
}

TEST(LogWindow, PrintingWithoutAPrinterSaysSo)
{
    if (!QPrinterInfo::defaultPrinter().isNull())
        GTEST_SKIP() << "this machine has a printer";
    ScriptedPrompts p;
    Tlogform *log = freshLog();
    AddToLog("regel");
    log->Afdrukken1Click();
    ASSERT_EQ(p.transcript().size(), 1u);
    EXPECT_EQ(p.transcript()[0].kind, "notice");
    EXPECT_TRUE(p.transcript()[0].text.contains("printer"));
}
