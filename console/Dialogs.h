// Every message box, question, input box and print dialog of the console goes
// through this interface: the program answers them with real Qt dialogs, the
// tests with a script.
#pragma once

#include <QString>
#include <cstdint>

class QPrinter;
class QWidget;

enum class DialogIcon { None, Information, Question, Warning, Error };

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A box with an OK button. An empty title shows the application's title.
    void message(QWidget* owner, const QString& text, const QString& title, DialogIcon icon);
    // Yes and No, No as the default (also for Return and Escape). True on Yes.
    bool question(QWidget* owner, const QString& text, const QString& title, DialogIcon icon);
    // The typed text; empty when cancelled.
    QString input(QWidget* owner, const QString& prompt, const QString& title, const QString& defaultText);
    // The print dialog over `printer`, with the print-dialog flag bits of
    // clsPrintDlgFlags. True when the user chose to print.
    bool choosePrinter(QWidget* owner, QPrinter& printer, uint32_t flags);

protected:
    virtual void showMessage(QWidget* owner, const QString& text, const QString& title, DialogIcon icon) = 0;
    virtual bool askQuestion(QWidget* owner, const QString& text, const QString& title, DialogIcon icon) = 0;
    virtual QString askInput(QWidget* owner, const QString& prompt, const QString& title,
                             const QString& defaultText) = 0;
    virtual bool showPrintDialog(QWidget* owner, QPrinter& printer, uint32_t flags) = 0;
};

// The real dialogs.
class QtDialogs final : public Dialogs {
protected:
    void showMessage(QWidget* owner, const QString& text, const QString& title, DialogIcon icon) override;
    bool askQuestion(QWidget* owner, const QString& text, const QString& title, DialogIcon icon) override;
    QString askInput(QWidget* owner, const QString& prompt, const QString& title,
                     const QString& defaultText) override;
    bool showPrintDialog(QWidget* owner, QPrinter& printer, uint32_t flags) override;
};
