#include "app/OrvoPythonConsole.h"

#include "app/OrvoPython.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace py = pybind11;

namespace {

const QString kPrompt = QStringLiteral(">>> ");

// Runs the line in the main module with the output streams caught; answers what was printed.
QString runInMainModule(const QString &code)
{
    if (!isPythonRunning())
        return QStringLiteral("Python is not running\n");
    py::gil_scoped_acquire gil;
    QString text;
    try {
        py::module_ sys = py::module_::import("sys");
        py::object captured = py::module_::import("io").attr("StringIO")();
        py::object stdoutBefore = sys.attr("stdout");
        py::object stderrBefore = sys.attr("stderr");
        sys.attr("stdout") = captured;
        sys.attr("stderr") = captured;
        QString error;
        try {
            py::module_ builtins = py::module_::import("builtins");
            py::object compiled = builtins.attr("compile")(code, "<console>", "single");
            builtins.attr("exec")(compiled, py::module_::import("__main__").attr("__dict__"));
        } catch (py::error_already_set &e) {
            error = QString::fromUtf8(e.what()) + QLatin1Char('\n');
        }
        sys.attr("stdout") = stdoutBefore;
        sys.attr("stderr") = stderrBefore;
        text = captured.attr("getvalue")().cast<QString>() + error;
    } catch (py::error_already_set &e) {
        text = QString::fromUtf8(e.what()) + QLatin1Char('\n');
    }
    return text;
}

} // namespace

OrvoPythonConsole::OrvoPythonConsole(QWidget *parent)
    : QWidget(parent)
    , m_output(new QPlainTextEdit(this))
    , m_input(new QLineEdit(this))
{
    setWindowTitle(QStringLiteral("Python"));
    m_output->setReadOnly(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_output);
    layout->addWidget(m_input);
    connect(m_input, &QLineEdit::returnPressed, this, &OrvoPythonConsole::runInput);
    resize(640, 400);
}

void OrvoPythonConsole::run(const QString &code)
{
    m_output->appendPlainText(kPrompt + code);
    const QString printed = runInMainModule(code);
    if (!printed.isEmpty())
        m_output->appendPlainText(printed.chopped(printed.endsWith(QLatin1Char('\n')) ? 1 : 0));
}

QString OrvoPythonConsole::transcript() const
{
    return m_output->toPlainText();
}

void OrvoPythonConsole::runInput()
{
    const QString code = m_input->text();
    m_input->clear();
    run(code);
}
