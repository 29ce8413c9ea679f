// The browser component on Qt WebEngine. Navigating loads the page; the page's window.print()
// prints it through the desktop's print dialog, or into a PDF file when one is configured (for
// unattended use and tests). The print-size setting chooses the paper of the printout.
#include "platform/qt/qt_internal.h"

#include "control/design.h"

#include <QGuiApplication>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <unistd.h>

namespace dalmure::qt {

namespace {

// Chromium refuses to run sandboxed as root, and has no GPU without a display.
void prepareWebEngine() {
    static bool done = false;
    if (done)
        return;
    done = true;
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (QGuiApplication::platformName() == QLatin1String("offscreen") &&
        qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
}

} // namespace

QtBrowser::QtBrowser(Context& ctx, QtFrame& frame1, const QtPrinter& printer,
                     std::optional<QString> printPdf)
    : ctx_(ctx), frame1_(frame1), printer_(printer), printPdf_(std::move(printPdf)),
      width_(design::kBrowserWidth) {}

QtBrowser::~QtBrowser() = default;

void QtBrowser::setWidth(std::int32_t v) {
    width_ = v;
    if (view_)
        view_->resize(std::max(0, ctx_.pxX(v)), view_->height());
}

void QtBrowser::ensureView() {
    if (view_)
        return;
    prepareWebEngine();
    // The component stays out of sight: the minutes are read in the user's browser and printed
    // from here.
    view_ = new QWebEngineView(frame1_.widget());
    view_->setObjectName(QStringLiteral("WebBrowser1"));
    view_->setGeometry(0, 0, std::max(1, ctx_.pxX(width_)),
                       std::max(1, frame1_.widget()->height()));
    view_->hide();
    // The page asks to be printed while its script runs; the printout starts once it has loaded.
    QObject::connect(view_->page(), &QWebEnginePage::printRequested, view_, [this] {
        printPending_ = true;
        if (loaded_)
            QTimer::singleShot(0, view_, [this] { startPendingPrint(); });
    });
    QObject::connect(view_->page(), &QWebEnginePage::loadFinished, view_, [this](bool ok) {
        loaded_ = true;
        if (!ok) {
            printPending_ = false;
            busy_ = false;
            if (ctx_.printFinished)
                ctx_.printFinished(QString(), false);
            return;
        }
        QTimer::singleShot(0, view_, [this] { startPendingPrint(); });
    });
    QObject::connect(view_->page(), &QWebEnginePage::pdfPrintingFinished, view_,
                     [this](const QString& file, bool ok) {
                         busy_ = false;
                         if (ctx_.printFinished)
                             ctx_.printFinished(file, ok);
                     });
    QObject::connect(view_, &QWebEngineView::printFinished, view_, [this](bool ok) {
        busy_ = false;
        qprinter_.reset();
        if (ctx_.printFinished)
            ctx_.printFinished(QString(), ok);
    });
}

void QtBrowser::navigate(const Str& path) {
    if (ctx_.happenings)
        ctx_.happenings->navigate(path);
    ensureView();
    busy_ = true;
    loaded_ = false;
    printPending_ = false;
    view_->load(QUrl::fromLocalFile(toQ(path)));
}

void QtBrowser::startPendingPrint() {
    if (!printPending_)
        return;
    printPending_ = false;
    print();
}

void QtBrowser::print() {
    QString pdf = printPdf_.value_or(QString());
    if (pdf.isEmpty())
        pdf = qEnvironmentVariable("DALMURE_PRINT_PDF");
    const QPageLayout layout(paperOfPrintSize(printer_.printSize()), QPageLayout::Portrait,
                             QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    if (!pdf.isEmpty()) {
        view_->page()->printToPdf(pdf, layout);
        return;
    }
    qprinter_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    qprinter_->setPageLayout(layout);
    QPrintDialog dialog(qprinter_.get(), ctx_.surface ? ctx_.surface->window() : nullptr);
    ctx_.driveModal(&dialog);
    if (dialog.exec() != QDialog::Accepted) {
        qprinter_.reset();
        busy_ = false;
        if (ctx_.printFinished)
            ctx_.printFinished(QString(), false);
        return;
    }
    view_->print(qprinter_.get());
}

} // namespace dalmure::qt
