// The help window: one topic's text, printable.
#pragma once

#include <QDialog>
#include <QString>
#include <string>

class Dialogs;
class QPlainTextEdit;
class QPushButton;

class frmHelp : public QDialog {
    Q_OBJECT
public:
    frmHelp(Dialogs& dialogs, std::string homeDir, QWidget* parent = nullptr);

    // Fills the window with the topic and shows it modally.
    void DisplayHelp(int topic);
    // Fills the window without showing it.
    void setTopic(int topic);
    // The topic's text with its CR LF line ends.
    const QString& helpText() const { return helpText_; }

    QPlainTextEdit* txtHelp() const { return txtHelp_; }
    QPushButton* cmdClose() const { return cmdClose_; }
    QPushButton* cmdPrint() const { return cmdPrint_; }

    void cmdPrint_Click();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void layOut();
    // Keeps the outer size, title bar and border included, at 640 by 480
    // once the window manager has said how wide its frame is.
    void fitOuterSize();

    Dialogs& dialogs_;
    std::string homeDir_;
    QString helpText_;
    QPlainTextEdit* txtHelp_;
    QPushButton* cmdClose_;
    QPushButton* cmdPrint_;
    QSize frameExtra_{0, 0};
};
