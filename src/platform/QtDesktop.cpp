#include "platform/QtDesktop.h"
#include "platform/ProgramFolder.h"

#include <QApplication>
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>
#include <numbers>

namespace ostrel {

struct QtDesktop::Private {
    QString helpFolder;
    // The tone playing now; a new tone replaces it.
    std::unique_ptr<QAudioSink> toneSink;
    QByteArray toneSamples;
    std::unique_ptr<QBuffer> toneBuffer;
    QPointer<QDialog> helpDialog;
    QPointer<QTextBrowser> helpBrowser;
};

QtDesktop::QtDesktop(QString helpFolder) : d(new Private) {
    d->helpFolder = std::move(helpFolder);
}

QtDesktop::~QtDesktop() {
    // The default instance outlives the application object; widgets may only be deleted
    // while it exists.
    if (d->helpDialog && QCoreApplication::instance()) delete d->helpDialog.data();
    delete d;
}

void QtDesktop::setHelpFolder(const QString& folder) {
    d->helpFolder = folder;
}

namespace {

QString title() {
    const QString name = QGuiApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("Ostrel") : name;
}

QMessageBox::StandardButton toQt(MsgButton b) {
    switch (b) {
    case MsgButton::Ok:
        return QMessageBox::Ok;
    case MsgButton::Cancel:
        return QMessageBox::Cancel;
    case MsgButton::Yes:
        return QMessageBox::Yes;
    case MsgButton::No:
        return QMessageBox::No;
    case MsgButton::None:
        break;
    }
    return QMessageBox::NoButton;
}

constexpr MsgButton buttonOrder[] = {MsgButton::Yes, MsgButton::No, MsgButton::Ok,
                                     MsgButton::Cancel};

// Cancel, else No, else Ok: what Escape or closing the box answers.
MsgButton closedAnswer(MsgButtons buttons) {
    for (MsgButton b : {MsgButton::Cancel, MsgButton::No, MsgButton::Ok})
        if (buttons.testFlag(b)) return b;
    return MsgButton::Ok;
}

} // namespace

MsgButton QtDesktop::messageBox(MsgKind kind, const QString& text, MsgButtons buttons,
                                QWidget* parent) {
    if (buttons == MsgButtons(MsgButton::None)) buttons = MsgButton::Ok;
    if (unattended()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title()), qPrintable(text));
        return closedAnswer(buttons);
    }

    QMessageBox::Icon icon = QMessageBox::Information;
    switch (kind) {
    case MsgKind::Error:
        icon = QMessageBox::Critical;
        break;
    case MsgKind::Warning:
        icon = QMessageBox::Warning;
        break;
    case MsgKind::Confirmation:
        icon = QMessageBox::Question;
        break;
    case MsgKind::Information:
        icon = QMessageBox::Information;
        break;
    }

    // Texts written for the old desktop break lines with a lone carriage return.
    QString shownText = text;
    shownText.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shownText.replace(QLatin1Char('\r'), QLatin1Char('\n'));

    QMessageBox box(icon, title(), shownText, QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    QAbstractButton* first = nullptr;
    for (MsgButton b : buttonOrder) {
        if (!buttons.testFlag(b)) continue;
        QAbstractButton* button = box.addButton(toQt(b));
        if (!first) {
            first = button;
            box.setDefaultButton(qobject_cast<QPushButton*>(button));
        }
    }
    box.setEscapeButton(toQt(closedAnswer(buttons)));
    box.exec();

    QAbstractButton* clicked = box.clickedButton();
    if (clicked) {
        switch (box.standardButton(clicked)) {
        case QMessageBox::Ok:
            return MsgButton::Ok;
        case QMessageBox::Cancel:
            return MsgButton::Cancel;
        case QMessageBox::Yes:
            return MsgButton::Yes;
        case QMessageBox::No:
            return MsgButton::No;
        default:
            break;
        }
    }
    return closedAnswer(buttons);
}

QString toQtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        QString patterns = i + 1 < parts.size() ? parts[i + 1].trimmed() : QString();
        if (description.isEmpty() && patterns.isEmpty()) continue;
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        patterns = patterns.simplified();
        if (patterns.isEmpty()) patterns = QStringLiteral("*");
        filters.append(QStringLiteral("%1 (%2)").arg(description.isEmpty() ? patterns : description,
                                                     patterns));
    }
    return filters.join(QStringLiteral(";;"));
}

namespace {

QString runFileDialog(const FileDialogRequest& r, QWidget* parent, bool save) {
    QFileDialog dialog(parent, r.title);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QString filter = toQtFilter(r.filter);
    if (!filter.isEmpty()) dialog.setNameFilters(filter.split(QStringLiteral(";;")));
    if (!r.defaultExtension.isEmpty()) dialog.setDefaultSuffix(r.defaultExtension);
    if (!r.initialDir.isEmpty()) dialog.setDirectory(r.initialDir);
    if (!r.fileName.isEmpty()) dialog.selectFile(r.fileName);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

} // namespace

QString QtDesktop::openFileName(const FileDialogRequest& request, QWidget* parent) {
    return runFileDialog(request, parent, false);
}

QString QtDesktop::saveFileName(const FileDialogRequest& request, QWidget* parent) {
    return runFileDialog(request, parent, true);
}

void QtDesktop::messageBeep() {
    QApplication::beep();
}

void QtDesktop::tone(int frequencyHz, int milliseconds) {
    if (milliseconds <= 0) return;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    QAudioFormat format;
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    format.setSampleRate(22050);
    // Without sound the caller still paces itself by the tone's length.
    if (device.isNull() || frequencyHz <= 0 || !device.isFormatSupported(format)) return;

    const int rate = format.sampleRate();
    const qint64 count = static_cast<qint64>(rate) * milliseconds / 1000;
    // Nyquist: a tone above half the rate would alias into something else entirely.
    const double frequency = std::min(frequencyHz, rate / 2 - 1);
    QByteArray samples(static_cast<qsizetype>(count * 2), '\0');
    auto* out = reinterpret_cast<qint16*>(samples.data());
    const qint64 ramp = std::min<qint64>(count / 2, rate / 200); // 5 ms fade against clicks
    for (qint64 i = 0; i < count; ++i) {
        double gain = 0.5;
        if (ramp > 0 && i < ramp)
            gain *= static_cast<double>(i) / ramp;
        else if (ramp > 0 && count - i < ramp)
            gain *= static_cast<double>(count - i) / ramp;
        out[i] = static_cast<qint16>(32767.0 * gain *
                                     std::sin(2.0 * std::numbers::pi * frequency * i / rate));
    }

    d->toneSink.reset(); // stops the tone before its samples go
    d->toneBuffer.reset();
    d->toneSamples = std::move(samples);
    d->toneBuffer = std::make_unique<QBuffer>(&d->toneSamples);
    d->toneBuffer->open(QIODevice::ReadOnly);
    d->toneSink = std::make_unique<QAudioSink>(device, format);
    d->toneSink->start(d->toneBuffer.get());
    // The sink stops by itself at the end of the buffer; the timer makes sure of it.
    QTimer::singleShot(milliseconds + 50, d->toneSink.get(), &QAudioSink::stop);
}

bool QtDesktop::openUrl(const QString& url) {
    const QUrl parsed(url);
    // "C:" style drive letters are not schemes; anything else without a scheme is a path.
    if (parsed.isValid() && parsed.scheme().size() > 1) return QDesktopServices::openUrl(parsed);
    QString path = url;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

void QtDesktop::help(HelpCommand command, int context) {
    if (command == HelpCommand::Quit) {
        if (d->helpDialog) d->helpDialog->close();
        return;
    }
    const QString folder = withSlash(
        d->helpFolder.isEmpty() ? programFolder() + QStringLiteral("Help") : d->helpFolder);
    if (!d->helpDialog) {
        auto* dialog = new QDialog(nullptr, Qt::Window);
        dialog->setWindowTitle(title() + QStringLiteral(" Help"));
        dialog->setObjectName(QStringLiteral("HelpViewer"));
        dialog->setAttribute(Qt::WA_QuitOnClose, false);
        auto* layout = new QVBoxLayout(dialog);
        auto* browser = new QTextBrowser(dialog);
        browser->setObjectName(QStringLiteral("HelpBrowser"));
        browser->setAccessibleName(QStringLiteral("Help topic"));
        browser->setOpenExternalLinks(true);
        // Contents and Index at hand on every page, and the way back along the links.
        auto* bar = new QHBoxLayout;
        auto button = [&](const QString& caption, auto slot) {
            auto* b = new QPushButton(caption, dialog);
            b->setAutoDefault(false);
            QObject::connect(b, &QPushButton::clicked, browser, slot);
            bar->addWidget(b);
            return b;
        };
        button(QStringLiteral("&Contents"), [this] { help(HelpCommand::Contents, 0); });
        button(QStringLiteral("&Index"), [this] { help(HelpCommand::Index, 0); });
        auto* back = button(QStringLiteral("&Back"), [browser] { browser->backward(); });
        auto* forward = button(QStringLiteral("&Forward"), [browser] { browser->forward(); });
        back->setEnabled(false);
        forward->setEnabled(false);
        QObject::connect(browser, &QTextBrowser::backwardAvailable, back, &QWidget::setEnabled);
        QObject::connect(browser, &QTextBrowser::forwardAvailable, forward, &QWidget::setEnabled);
        // The caption names the topic shown, as a screen reader announces it.
        QObject::connect(browser, &QTextBrowser::sourceChanged, dialog, [this, dialog, browser] {
            const QString topic = browser->documentTitle();
            dialog->setWindowTitle(title() + QStringLiteral(" Help") +
                                   (topic.isEmpty() ? QString() : QStringLiteral(" - ") + topic));
        });
        bar->addStretch();
        layout->addLayout(bar);
        layout->addWidget(browser);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
        QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
        layout->addWidget(buttons);
        dialog->resize(720, 560);
        d->helpDialog = dialog;
        d->helpBrowser = browser;
    }

    QString file;
    switch (command) {
    case HelpCommand::Contents:
        file = QStringLiteral("contents.html");
        break;
    case HelpCommand::Index:
        file = QStringLiteral("index.html");
        break;
    case HelpCommand::Context:
        file = QStringLiteral("topic%1.html").arg(context);
        break;
    case HelpCommand::Quit:
        break;
    }
    d->helpBrowser->setSearchPaths({folder});
    const QString path = folder + file;
    if (QFileInfo(path).isFile()) {
        d->helpBrowser->setSource(QUrl::fromLocalFile(path));
    } else {
        d->helpBrowser->setHtml(
            QStringLiteral("<html><body><h2>Help topic not found</h2><p>%1</p></body></html>")
                .arg(file.toHtmlEscaped()));
    }
    d->helpDialog->show();
    d->helpDialog->raise();
    d->helpDialog->activateWindow();
}

QDateTime QtDesktop::now() const {
    return QDateTime::currentDateTime();
}

std::uint32_t QtDesktop::tickCount() const {
    // Milliseconds of the monotonic clock (time since boot), truncated the way a 32-bit
    // tick count wraps; callers only ever compare differences.
    QElapsedTimer now;
    now.start();
    return static_cast<std::uint32_t>(now.msecsSinceReference());
}

} // namespace ostrel
