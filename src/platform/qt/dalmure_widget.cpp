#include "platform/qt/dalmure_widget.h"

#include "control/design.h"
#include "platform/qt/qt_internal.h"
#include "support/errors.h"

#include <QDir>
#include <QFileInfo>
#include <QResizeEvent>

#include <dlfcn.h>

#include <cmath>

namespace dalmure::qt {

namespace {

QString& defaultFolder() {
    static QString folder;
    return folder;
}

std::int32_t toColour(const QColor& c) {
    return c.red() | (c.green() << 8) | (c.blue() << 16);
}

// The folder as the control takes it: absolute, without a trailing "/".
QString normalFolder(const QString& folder) {
    QString f = QDir::cleanPath(QDir(folder).absolutePath());
    while (f.size() > 1 && f.endsWith(QLatin1Char('/')))
        f.chop(1);
    return f;
}

} // namespace

// The control's events, passed on as signals. What a slot stores into a by-reference argument
// is copied back into the control's variable when the signal returns.
struct DalmureWidget::Events final : DalmureEvents {
    explicit Events(DalmureWidget& w) : w_(w) {}
    void AnnoDeleteRequest(std::int16_t& AnnoIndex) override {
        qint16 i = AnnoIndex;
        emit w_.annoDeleteRequest(i);
        AnnoIndex = i;
    }
    void AnnoModified(std::int16_t AnnoIndex) override { emit w_.annoModified(AnnoIndex); }
    void AnnoModifiedDesc(std::int16_t& AnnoIndex, Str& OldDesc, Str& NewDesc,
                          bool& Cancel) override {
        qint16 i = AnnoIndex;
        QString o = toQ(OldDesc), n = toQ(NewDesc);
        emit w_.annoModifiedDesc(i, o, n, Cancel);
        AnnoIndex = i;
        OldDesc = fromQ(o);
        NewDesc = fromQ(n);
    }
    void AnnoAdded(Str& AnnoTime, Str& AnnoDesc) override {
        QString t = toQ(AnnoTime), d = toQ(AnnoDesc);
        emit w_.annoAdded(t, d);
        AnnoTime = fromQ(t);
        AnnoDesc = fromQ(d);
    }
    void DblClick() override { emit w_.dblClick(); }
    void ToolTipChanged(Str& ToolTipText) override {
        QString t = toQ(ToolTipText);
        emit w_.toolTipChanged(t);
        ToolTipText = fromQ(t);
    }

  private:
    DalmureWidget& w_;
};

DalmureWidget::DalmureWidget(QWidget* parent) : DalmureWidget(defaultApplicationFolder(), parent) {}

DalmureWidget::DalmureWidget(const QString& applicationFolder, QWidget* parent,
                             QtPlatformOptions options)
    : QWidget(parent), folder_(normalFolder(applicationFolder)),
      platform_(std::make_unique<QtPlatform>(this, std::move(options))),
      events_(std::make_unique<Events>(*this)) {
    setFocusPolicy(Qt::NoFocus);
    platform_->setPrintFinished(
        [this](const QString& file, bool ok) { emit printFinished(file, ok); });
    control_ = std::make_unique<Dalmure>(*platform_, fromQ(folder_));
    control_->setEventSink(events_.get());
    // The container sizes the control once it is created.
    auto& s = platform_->surface();
    platform_->containerResize(s.width(), s.height());
    resize(platform_->surfaceWidget()->size());
}

DalmureWidget::~DalmureWidget() {
    control_.reset();
    platform_.reset();
}

void DalmureWidget::setDefaultApplicationFolder(const QString& folder) {
    defaultFolder() = folder;
}

QString DalmureWidget::defaultApplicationFolder() {
    if (!defaultFolder().isEmpty())
        return normalFolder(defaultFolder());
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&DalmureWidget::defaultApplicationFolder), &info) != 0 &&
        info.dli_fname != nullptr)
        return normalFolder(QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath());
    return normalFolder(QDir::currentPath());
}

QString DalmureWidget::applicationFolder() const {
    return folder_;
}

template <class F> auto DalmureWidget::guarded(F&& f, decltype(f()) fallback) -> decltype(f()) {
    try {
        return f();
    } catch (const ControlError& e) {
        emit errorRaised(e.number(), toQ(e.description()));
        return fallback;
    }
}

void DalmureWidget::annoAdd(const QString& time, const QString& description, const QString& data) {
    Str t = fromQ(time), d = fromQ(description), x = fromQ(data);
    guarded(
        [&] {
            control_->AnnoAdd(t, d, x);
            return 0;
        },
        0);
}
int DalmureWidget::annoCount() {
    return guarded([&] { return static_cast<int>(control_->AnnoCount()); }, 0);
}
QString DalmureWidget::annoTime(int index) {
    return guarded([&] { return toQ(control_->AnnoTime(index)); }, QString());
}
QString DalmureWidget::annoDesc(int index) {
    return guarded([&] { return toQ(control_->AnnoDesc(index)); }, QString());
}
QString DalmureWidget::annoData(int index) {
    return guarded([&] { return toQ(control_->AnnoData(index)); }, QString());
}
int DalmureWidget::annoDelete(int index) {
    std::int32_t i = index;
    guarded(
        [&] {
            control_->AnnoDelete(i);
            return 0;
        },
        0);
    return i;
}
void DalmureWidget::clearAll() {
    guarded(
        [&] {
            control_->ClearAll();
            return 0;
        },
        0);
}
int DalmureWidget::selected() const {
    return control_->Selected();
}

bool DalmureWidget::noPlay() const {
    return control_->NoPlay();
}
void DalmureWidget::setNoPlay(bool v) {
    guarded(
        [&] {
            control_->NoPlay(v);
            return 0;
        },
        0);
    emit modesChanged();
}
bool DalmureWidget::noPV() const {
    return control_->NoPV();
}
void DalmureWidget::setNoPV(bool v) {
    guarded(
        [&] {
            control_->NoPV(v);
            return 0;
        },
        0);
    emit modesChanged();
}
bool DalmureWidget::noModif() const {
    return control_->NoModif();
}
void DalmureWidget::setNoModif(bool v) {
    guarded(
        [&] {
            control_->NoModif(v);
            return 0;
        },
        0);
    emit modesChanged();
}
int DalmureWidget::pvStyle() const {
    return control_->PVStyle;
}
void DalmureWidget::setPvStyle(int v) {
    control_->PVStyle = static_cast<std::int16_t>(v);
}
int DalmureWidget::pvFontSize() const {
    return control_->PVFontSize;
}
void DalmureWidget::setPvFontSize(int v) {
    control_->PVFontSize = static_cast<std::int16_t>(v);
}
bool DalmureWidget::lockPVStyle() const {
    return control_->LockPVStyle;
}
void DalmureWidget::setLockPVStyle(bool v) {
    control_->LockPVStyle = v;
}
QString DalmureWidget::noDossier() const {
    return toQ(control_->NoDossier);
}
void DalmureWidget::setNoDossier(const QString& v) {
    control_->NoDossier = fromQ(v);
}
QString DalmureWidget::dateCreated() const {
    return toQ(control_->DateCreated);
}
void DalmureWidget::setDateCreated(const QString& v) {
    control_->DateCreated = fromQ(v);
}
QString DalmureWidget::userName() const {
    return toQ(control_->UserName);
}
void DalmureWidget::setUserName(const QString& v) {
    control_->UserName = fromQ(v);
}
QColor DalmureWidget::backColor() const {
    return toQColor(control_->BackColor());
}
void DalmureWidget::setBackColor(const QColor& c) {
    guarded(
        [&] {
            control_->LetBackColor(toColour(c));
            return 0;
        },
        0);
}
void DalmureWidget::allowRefreshPV(bool refresh) {
    guarded(
        [&] {
            control_->AllowRefreshPV(refresh);
            return 0;
        },
        0);
}
QString DalmureWidget::logPath() {
    Str path;
    return guarded([&] { return toQ(control_->GetLogPath(path)); }, QString());
}

Dalmure& DalmureWidget::control() {
    return *control_;
}
QtPlatform& DalmureWidget::platform() {
    return *platform_;
}

QSize DalmureWidget::sizeHint() const {
    return {platform_->pxX(design::kControlWidth), platform_->pxY(design::kControlHeight)};
}
QSize DalmureWidget::minimumSizeHint() const {
    return {platform_->pxX(2900), platform_->pxY(2000)};
}

void DalmureWidget::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (platform_ && control_)
        platform_->surfaceWidget()->resize(e->size());
}

} // namespace dalmure::qt
