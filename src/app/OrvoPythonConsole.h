#pragma once

#include <QString>
#include <QWidget>

class QLineEdit;
class QPlainTextEdit;

// A small interactive console on the interpreter's main module, for developers who know its
// access code: each line runs as the interactive interpreter would run it, and the transcript
// shows what it printed, an expression's value or the error.
class OrvoPythonConsole : public QWidget
{
    Q_OBJECT

public:
    explicit OrvoPythonConsole(QWidget *parent = nullptr);

    void run(const QString &code);
    QString transcript() const;

private:
    void runInput();

    QPlainTextEdit *m_output = nullptr;
    QLineEdit *m_input = nullptr;
};
