// The browser component on Qt WebEngine. Navigating loads the page; the page's window.print()
// prints it through the desktop's print dialog, or into a PDF file when one is configured (for
// unattended use and tests). The print-size setting chooses the paper of the printout.
//
// The component shows the minutes page and nothing else. The page is read once, from the
// application folder (a regular file, never through a link), and served from memory under a
// scheme of its own; its notes are the clerk's and the host's texts, so whatever markup they
// hold must not reach anything else. The component runs in a private, off-the-record profile
// where every request but the page's own is blocked (files, network, frames), every navigation
// away from the page is refused, no window opens, and pages cannot reach local files or remote
// addresses. The page's own script still runs, so that its window.print() prints it.
#include "platform/qt/qt_internal.h"

#include "platform/design.h"
#include "support/errors.h"
#include "support/files.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

#include <unistd.h>

namespace dalmure::qt {

namespace {

constexpr char kPageScheme[] = "dalmure-minutes";

// The scheme is made known to the web engine before any of it starts, that is when this
// library is loaded: no flags, so that its pages have the rights of a remote page (no local
// files) and none more.
const bool kPageSchemeRegistered = [] {
    QWebEngineUrlScheme scheme(kPageScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags({});
    QWebEngineUrlScheme::registerScheme(scheme);
    return true;
}();

// Answers the one address the component loads with the page's bytes; every other is refused.
class PageSchemeHandler final : public QWebEngineUrlSchemeHandler {
  public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void serve(const QUrl& url, QByteArray bytes) {
        url_ = url;
        bytes_ = std::move(bytes);
    }
    const QUrl& url() const { return url_; }
    void requestStarted(QWebEngineUrlRequestJob* job) override {
        if (job->requestUrl() != url_ || job->requestMethod() != QByteArrayLiteral("GET")) {
            job->fail(QWebEngineUrlRequestJob::RequestDenied);
            return;
        }
        auto* body = new QBuffer(job);
        body->setData(bytes_);
        body->open(QIODevice::ReadOnly);
        job->reply(QByteArrayLiteral("text/html"), body);
    }

  private:
    QUrl url_;
    QByteArray bytes_;
};

// Every request of the profile passes here: only the page's own goes on.
class OnlyThePage final : public QWebEngineUrlRequestInterceptor {
  public:
    OnlyThePage(const PageSchemeHandler& pages, QObject* parent)
        : QWebEngineUrlRequestInterceptor(parent), pages_(pages) {}
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        info.block(info.requestUrl() != pages_.url() ||
                   info.resourceType() != QWebEngineUrlRequestInfo::ResourceTypeMainFrame);
    }

  private:
    const PageSchemeHandler& pages_;
};

class MinutesPage final : public QWebEnginePage {
  public:
    MinutesPage(QWebEngineProfile* profile, const PageSchemeHandler& pages, QObject* parent)
        : QWebEnginePage(profile, parent), pages_(pages) {}

  protected:
    // The page itself, in the main frame; no frame, refresh, link or script goes elsewhere.
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        return isMainFrame && url == pages_.url();
    }
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
    // What the page's scripts say (and what was refused them) is not the host's business.
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                  const QString&) override {}

  private:
    const PageSchemeHandler& pages_;
};

// The view with its private profile. The page goes before the profile that it lives in.
class MinutesView final : public QWebEngineView {
  public:
    explicit MinutesView(QWidget* parent) : QWebEngineView(parent) {
        (void)kPageSchemeRegistered;
        profile_ = new QWebEngineProfile(this); // no storage name: off the record
        profile_->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        profile_->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        pages_ = new PageSchemeHandler(profile_);
        profile_->installUrlSchemeHandler(kPageScheme, pages_);
        profile_->setUrlRequestInterceptor(new OnlyThePage(*pages_, profile_));

        page_ = new MinutesPage(profile_, *pages_, this);
        QWebEngineSettings* s = page_->settings();
        using S = QWebEngineSettings;
        for (S::WebAttribute off : {S::LocalContentCanAccessFileUrls,
                                    S::LocalContentCanAccessRemoteUrls,
                                    S::JavascriptCanOpenWindows,
                                    S::JavascriptCanAccessClipboard,
                                    S::JavascriptCanPaste,
                                    S::LocalStorageEnabled,
                                    S::PluginsEnabled,
                                    S::AllowRunningInsecureContent,
                                    S::AllowGeolocationOnInsecureOrigins,
                                    S::AllowWindowActivationFromJavaScript,
                                    S::WebGLEnabled,
                                    S::Accelerated2dCanvasEnabled,
                                    S::AutoLoadIconsForPage,
                                    S::TouchIconsEnabled,
                                    S::FocusOnNavigationEnabled,
                                    S::ScreenCaptureEnabled,
                                    S::NavigateOnDropEnabled,
                                    S::DnsPrefetchEnabled,
                                    S::PdfViewerEnabled,
                                    S::XSSAuditingEnabled,
                                    S::HyperlinkAuditingEnabled})
            s->setAttribute(off, off == S::XSSAuditingEnabled);
        s->setAttribute(S::JavascriptEnabled, true); // the page prints itself
        s->setAttribute(S::AutoLoadImages, false);
        // The control writes the page in Windows-1252; a template may still name its own.
        s->setDefaultTextEncoding(QStringLiteral("windows-1252"));
        setPage(page_);
    }
    ~MinutesView() override { delete page_; }
    MinutesView(const MinutesView&) = delete;
    MinutesView& operator=(const MinutesView&) = delete;

    // Loads bytes as the page; each load has an address of its own.
    void show(QByteArray bytes) {
        // Whatever the template, a word longer than a line (a URL, a reference run together)
        // wraps inside the page instead of running off it: the printout holds every character
        // of every note. The page on disk is left as written.
        bytes.append("<style>td{overflow-wrap:anywhere;word-break:break-word}</style>");
        const QUrl url(
            QStringLiteral("%1:pvData.html?%2").arg(QLatin1String(kPageScheme)).arg(++loads_));
        pages_->serve(url, std::move(bytes));
        page_->load(url);
    }

  private:
    QWebEngineProfile* profile_ = nullptr;
    PageSchemeHandler* pages_ = nullptr;
    MinutesPage* page_ = nullptr;
    quint64 loads_ = 0;
};

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

QtBrowser::QtBrowser(Context& ctx, QtFrame& frame1, const platform::Printer& printer,
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
    view_ = new MinutesView(frame1_.widget());
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
    // The page is read here, whole, and the component never opens a file itself.
    QByteArray bytes;
    try {
        const std::size_t slash = path.rfind(u'/');
        const files::Folder folder = files::Folder::open(slash == Str::npos ? Str(u".")
                                                         : slash == 0       ? Str(u"/")
                                                                      : path.substr(0, slash));
        const std::string page =
            folder.read(toUtf8(slash == Str::npos ? path : path.substr(slash + 1)));
        bytes = QByteArray(page.data(), static_cast<qsizetype>(page.size()));
    } catch (const ControlError&) {
        QTimer::singleShot(0, view_, [this] {
            busy_ = false;
            if (ctx_.printFinished)
                ctx_.printFinished(QString(), false);
        });
        return;
    }
    static_cast<MinutesView*>(view_.data())->show(std::move(bytes));
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
