#include "platform/qt/dalmure_widget_p.h"
#include <dalmure/dalmure_widget.h>

#include "platform/design.h"
#include "platform/qt/qt_internal.h"
#include "support/errors.h"

#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
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

// What a slot stores into a by-reference argument is copied back into the control's variable
// when the signal returns. An index the slot left as it was is not copied back: the slot may have
// called the control meanwhile (a delete answered at once selects another annotation), and the
// control's own variable holds that.
class DalmureWidgetPrivate::Events final : public DalmureEvents {
  public:
    explicit Events(DalmureWidget* q) : q_(q) {}
    void AnnoDeleteRequest(std::int16_t& AnnoIndex) override {
        const qint16 asked = AnnoIndex;
        qint16 i = asked;
        emit q_->annoDeleteRequest(i);
        if (i != asked)
            AnnoIndex = i;
    }
    void AnnoModified(std::int16_t AnnoIndex) override { emit q_->annoModified(AnnoIndex); }
    void AnnoModifiedDesc(std::int16_t& AnnoIndex, Str& OldDesc, Str& NewDesc,
                          bool& Cancel) override {
        const qint16 asked = AnnoIndex;
        qint16 i = asked;
        QString o = toQ(OldDesc), n = toQ(NewDesc);
        emit q_->annoModifiedDesc(i, o, n, Cancel);
        if (i != asked)
            AnnoIndex = i;
        OldDesc = fromQ(o);
        NewDesc = fromQ(n);
    }
    void AnnoAdded(Str& AnnoTime, Str& AnnoDesc) override {
        QString t = toQ(AnnoTime), d = toQ(AnnoDesc);
        emit q_->annoAdded(t, d);
        AnnoTime = fromQ(t);
        AnnoDesc = fromQ(d);
    }
    void DblClick() override { emit q_->dblClick(); }
    void AnnoRecovered(std::int16_t AnnoIndex) override { emit q_->annoRecovered(AnnoIndex); }
    void ToolTipChanged(Str& ToolTipText) override {
        QString t = toQ(ToolTipText);
        emit q_->toolTipChanged(t);
        ToolTipText = fromQ(t);
    }

  private:
    DalmureWidget* q_;
};

DalmureWidgetPrivate::DalmureWidgetPrivate(DalmureWidget* widget, const QString& applicationFolder,
                                           const QtPlatformOptions& options)
    : q(widget), folder(normalFolder(applicationFolder)),
      platform(std::make_unique<QtPlatform>(widget, options)),
      events(std::make_unique<Events>(widget)) {}

DalmureWidgetPrivate::~DalmureWidgetPrivate() = default;

template <class F>
auto DalmureWidgetPrivate::guarded(F&& f, decltype(f()) fallback) -> decltype(f()) {
    try {
        return f();
    } catch (const ControlError& e) {
        emit q->errorRaised(e.number(), toQ(e.description()));
        return fallback;
    }
}

template <class F> void DalmureWidgetPrivate::guarded(F&& f) {
    try {
        f();
    } catch (const ControlError& e) {
        emit q->errorRaised(e.number(), toQ(e.description()));
    }
}

DalmureWidget::DalmureWidget(QWidget* parent) : DalmureWidget(defaultApplicationFolder(), parent) {}

DalmureWidget::DalmureWidget(const QString& applicationFolder, QWidget* parent)
    : DalmureWidget(applicationFolder, parent, QtPlatformOptions{}) {}

DalmureWidget::DalmureWidget(const QString& applicationFolder, QWidget* parent,
                             const QtPlatformOptions& options)
    : QWidget(parent), d(std::make_unique<DalmureWidgetPrivate>(this, applicationFolder, options)) {
    setFocusPolicy(Qt::NoFocus);
    d->platform->setPrintFinished(
        [this](const QString& file, bool ok) { emit printFinished(file, ok); });
    d->control = std::make_unique<DalmurePrivate>(*d->platform, fromQ(d->folder));
    d->control->setEventSink(d->events.get());
    d->qtTexts = std::make_unique<QtTextsTranslation>(d->control->privateState().strLangColumn);
    // The container sizes the control once it is created.
    auto& s = d->platform->surface();
    d->platform->containerResize(s.width(), s.height());
    resize(d->platform->surfaceWidget()->size());
}

DalmureWidget::~DalmureWidget() {
    d->control.reset();
    d->qtTexts.reset();
    d->platform.reset();
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
    return d->folder;
}

void DalmureWidget::annoAdd(const QString& time, const QString& description, const QString& data) {
    Str t = fromQ(time), desc = fromQ(description), x = fromQ(data);
    d->guarded([&] { d->control->AnnoAdd(t, desc, x); });
}
int DalmureWidget::annoCount() {
    return d->guarded([&] { return static_cast<int>(d->control->AnnoCount()); }, 0);
}
QString DalmureWidget::annoTime(int index) {
    return d->guarded([&] { return toQ(d->control->AnnoTime(index)); }, QString());
}
QString DalmureWidget::annoDesc(int index) {
    return d->guarded([&] { return toQ(d->control->AnnoDesc(index)); }, QString());
}
QString DalmureWidget::annoData(int index) {
    return d->guarded([&] { return toQ(d->control->AnnoData(index)); }, QString());
}
int DalmureWidget::annoDelete(int index) {
    std::int32_t i = index;
    d->guarded([&] { d->control->AnnoDelete(i); });
    return i;
}
QList<DalmureWidget::RecoverableSession> DalmureWidget::recoverableSessions() {
    QList<RecoverableSession> out;
    d->guarded([&] {
        for (const journal::FoundJournal& f : d->control->RecoverableSessions()) {
            RecoverableSession s;
            s.id = QString::fromStdString(f.id);
            s.damaged = f.damaged;
            s.problem = toQ(f.problem);
            s.noDossier = toQ(f.caseFields.noDossier);
            s.dateCreated = toQ(f.caseFields.dateCreated);
            s.userName = toQ(f.caseFields.userName);
            s.hearingId = toQ(f.hearingId);
            s.otherHearing = f.otherHearing;
            s.lastChange = QDateTime::fromMSecsSinceEpoch(f.lastChange);
            s.annotations = f.annotations;
            s.unsavedNotes = f.unsavedNotes;
            s.pendingText = f.pendingText;
            out.push_back(s);
        }
    });
    return out;
}
bool DalmureWidget::recoverSession(const QString& id) {
    return recoverSession(id, false);
}
bool DalmureWidget::recoverSession(const QString& id, bool intoOtherHearing) {
    return d->guarded(
        [&] { return d->control->RecoverSession(id.toStdString(), intoOtherHearing); }, false);
}
bool DalmureWidget::discardSession(const QString& id) {
    return d->guarded([&] { return d->control->DiscardSession(id.toStdString()); }, false);
}

bool DalmureWidget::glossaryAdd(const QString& abbreviation, const QString& text) {
    return d->guarded([&] { return d->control->GlossaryAdd(fromQ(abbreviation), fromQ(text)); },
                      false);
}
void DalmureWidget::glossaryRemove(const QString& abbreviation) {
    d->guarded([&] { d->control->GlossaryRemove(fromQ(abbreviation)); });
}
void DalmureWidget::glossaryClear() {
    d->guarded([&] { d->control->GlossaryClear(); });
}

void DalmureWidget::clearAll() {
    d->guarded([&] { d->control->ClearAll(); });
}
int DalmureWidget::selected() const {
    return d->control->Selected();
}

bool DalmureWidget::noPlay() const {
    return d->control->NoPlay();
}
void DalmureWidget::setNoPlay(bool v) {
    d->guarded([&] { d->control->NoPlay(v); });
    emit modesChanged();
}
bool DalmureWidget::noPV() const {
    return d->control->NoPV();
}
void DalmureWidget::setNoPV(bool v) {
    d->guarded([&] { d->control->NoPV(v); });
    emit modesChanged();
}
bool DalmureWidget::noModif() const {
    return d->control->NoModif();
}
void DalmureWidget::setNoModif(bool v) {
    d->guarded([&] { d->control->NoModif(v); });
    emit modesChanged();
}
int DalmureWidget::pvStyle() const {
    return d->control->PVStyle;
}
void DalmureWidget::setPvStyle(int v) {
    d->control->PVStyle = static_cast<std::int16_t>(v);
}
int DalmureWidget::pvFontSize() const {
    return d->control->PVFontSize;
}
void DalmureWidget::setPvFontSize(int v) {
    d->control->PVFontSize = static_cast<std::int16_t>(v);
}
bool DalmureWidget::lockPVStyle() const {
    return d->control->LockPVStyle;
}
void DalmureWidget::setLockPVStyle(bool v) {
    d->control->LockPVStyle = v;
}
QString DalmureWidget::noDossier() const {
    return toQ(d->control->NoDossier);
}
void DalmureWidget::setNoDossier(const QString& v) {
    d->control->NoDossier = fromQ(v);
}
QString DalmureWidget::dateCreated() const {
    return toQ(d->control->DateCreated);
}
void DalmureWidget::setDateCreated(const QString& v) {
    d->control->DateCreated = fromQ(v);
}
QString DalmureWidget::userName() const {
    return toQ(d->control->UserName);
}
void DalmureWidget::setUserName(const QString& v) {
    d->control->UserName = fromQ(v);
}
QString DalmureWidget::hearingId() const {
    return toQ(d->control->HearingId());
}
void DalmureWidget::setHearingId(const QString& v) {
    d->guarded([&] { d->control->HearingId(fromQ(v)); });
}
QColor DalmureWidget::backColor() const {
    return toQColor(d->control->BackColor());
}
void DalmureWidget::setBackColor(const QColor& c) {
    d->guarded([&] { d->control->LetBackColor(toColour(c)); });
}
void DalmureWidget::allowRefreshPV(bool refresh) {
    d->guarded([&] { d->control->AllowRefreshPV(refresh); });
}
QString DalmureWidget::logPath() {
    Str path;
    return d->guarded([&] { return toQ(d->control->GetLogPath(path)); }, QString());
}

QSize DalmureWidget::sizeHint() const {
    return {d->platform->pxX(design::kControlWidth), d->platform->pxY(design::kControlHeight)};
}
QSize DalmureWidget::minimumSizeHint() const {
    return {d->platform->pxX(2900), d->platform->pxY(2000)};
}

void DalmureWidget::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (d && d->control)
        d->platform->surfaceWidget()->resize(e->size());
}

void DalmureWidget::focusInEvent(QFocusEvent* e) {
    QWidget::focusInEvent(e);
    if (d && d->control)
        d->platform->containerFocus();
}

} // namespace dalmure::qt
