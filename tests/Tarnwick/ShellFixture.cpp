#include "ShellFixture.h"

#include "Tarnwick/controllermain.h"
#include "Tarnwick/demodialog.h"
#include "Tarnwick/mainwindow.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

namespace TestSupport {

namespace {

QTemporaryDir& configDir()
{
    static QTemporaryDir dir;
    return dir;
}

// Set during static initialisation: Qt reads the folder once, at the first store.
const bool configSet = (qputenv("XDG_CONFIG_HOME", configDir().path().toLocal8Bit()), true);

}  // namespace

QString configHome()
{
    Q_UNUSED(configSet);
    return configDir().path();
}

QString settingsFile()
{
    return QDir(configHome()).filePath("Qelt/Plyform2.3.ini");
}

void clearSettings()
{
    QFile::remove(settingsFile());
}

::testing::AssertionResult startWindow(std::unique_ptr<MainWindow>& window)
{
    configHome();
    window = std::make_unique<MainWindow>();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        return ::testing::AssertionFailure() << "window not exposed";
    if (!QTest::qWaitFor([&] { return window->controllerMain() != nullptr; }, 20000))
        return ::testing::AssertionFailure() << "the views never all reported their initialisation";
    QTest::qWait(50);
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult startWindowWithDemoDialog(std::unique_ptr<MainWindow>& window, DemoDialog*& dialog)
{
    clearSettings();
    const ::testing::AssertionResult started = startWindow(window);
    if (!started)
        return started;
    dialog = window->demoDialog();
    if (!dialog)
        return ::testing::AssertionFailure() << "no sample-scene dialog with an empty settings store";
    // It is shown once the window is on screen.
    if (!QTest::qWaitFor([&] { return dialog->isVisible(); }, 5000))
        return ::testing::AssertionFailure() << "the sample-scene dialog was never shown";
    return ::testing::AssertionSuccess();
}

WindowTest::~WindowTest() = default;

void WindowTest::SetUp()
{
    clearSettings();
    ASSERT_TRUE(startWindow(window));
    main = window->controllerMain();
}

QString writeBoxObj(const QString& path, double sx, double sy, double sz, double ox, double oy, double oz)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    QByteArray text = "# box\n";
    for (int k = 0; k < 8; ++k) {
        const double x = ox + ((k & 1) ? sx : 0.0);
        const double y = oy + ((k & 2) ? sy : 0.0);
        const double z = oz + ((k & 4) ? sz : 0.0);
        text += QStringLiteral("v %1 %2 %3\n").arg(x, 0, 'g', 9).arg(y, 0, 'g', 9).arg(z, 0, 'g', 9).toLatin1();
    }
    text += "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n";
    // Outward quads (vertex k has bit 0 = x, bit 1 = y, bit 2 = z).
    const int quads[6][4] = {{1, 3, 4, 2}, {5, 6, 8, 7}, {1, 2, 6, 5}, {3, 7, 8, 4}, {1, 5, 7, 3}, {2, 4, 8, 6}};
    for (int q = 0; q < 6; ++q) {
        if (q == 0)
            text += "g sides\n";
        if (q == 4)
            text += "g ends\n";
        text += QStringLiteral("f %1/1 %2/2 %3/3 %4/4\n")
                    .arg(quads[q][0])
                    .arg(quads[q][1])
                    .arg(quads[q][2])
                    .arg(quads[q][3])
                    .toLatin1();
    }
    file.write(text);
    return path;
}

ModalDriver::ModalDriver(QList<Handler> handlers) : handlers_(std::move(handlers)), timer_(new QTimer)
{
    QObject::connect(timer_, &QTimer::timeout, [this] { poll(); });
    timer_->start(20);
}

ModalDriver::~ModalDriver()
{
    delete timer_;
}

void ModalDriver::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == last_ || handlers_.isEmpty() || !modal->isVisible())
        return;
    last_ = modal;
    ++answered_;
    handlers_.takeFirst()(modal);
}

ModalDriver::Handler answerBox(BoxSeen* seen, QWidget* expectedParent)
{
    return [seen, expectedParent](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box)
            return;
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->warning = box->icon() == QMessageBox::Warning;
        seen->singleOk = box->buttons().size() == 1 && box->standardButton(box->buttons().first()) == QMessageBox::Ok;
        seen->parentIsWindow = box->parentWidget() == expectedParent;
        box->button(QMessageBox::Ok)->click();
    };
}

namespace {

void record(QFileDialog* dialog, DialogSeen* seen)
{
    if (!seen)
        return;
    seen->caption = dialog->windowTitle();
    seen->directory = dialog->directory().absolutePath();
    seen->filters = dialog->nameFilters();
    seen->save = dialog->acceptMode() == QFileDialog::AcceptSave;
}

}  // namespace

ModalDriver::Handler cancelDialog(DialogSeen* seen)
{
    return [seen](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog)
            return;
        record(dialog, seen);
        dialog->reject();
    };
}

ModalDriver::Handler chooseFile(const QString& path, DialogSeen* seen)
{
    return [path, seen](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog)
            return;
        record(dialog, seen);
        // Typed as a user would: a visible dialog ignores selectFile.
        auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
        if (edit)
            edit->setText(path);
        static_cast<QDialog*>(dialog)->accept();
    };
}

}  // namespace TestSupport
