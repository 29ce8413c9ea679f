// The public Dalmure class: the host API over the control (DalmurePrivate), on the in-memory
// platform or on a platform of this library's own.
#include <dalmure/dalmure.h>

#include "control/dalmure_p.h"
#include "platform/headless/headless_platform.h"

#include <utility>

namespace dalmure {

Dalmure::Dalmure(Str appFolder)
    : ownPlatform_(std::make_unique<headless::HeadlessPlatform>()),
      d(std::make_unique<DalmurePrivate>(*ownPlatform_, std::move(appFolder))),
      NoDossier(d->NoDossier), DateCreated(d->DateCreated), UserName(d->UserName),
      PVStyle(d->PVStyle), PVFontSize(d->PVFontSize), LockPVStyle(d->LockPVStyle) {}

Dalmure::Dalmure(platform::Platform& platform, Str appFolder)
    : d(std::make_unique<DalmurePrivate>(platform, std::move(appFolder))), NoDossier(d->NoDossier),
      DateCreated(d->DateCreated), UserName(d->UserName), PVStyle(d->PVStyle),
      PVFontSize(d->PVFontSize), LockPVStyle(d->LockPVStyle) {}

Dalmure::~Dalmure() = default;

void Dalmure::setEventSink(DalmureEvents* sink) {
    d->setEventSink(sink);
}
const Str& Dalmure::appFolder() const {
    return d->appFolder();
}

void Dalmure::AnnoAdd(Str& strAnnoTime, Str& strAnnoDesc, Str& strAnnoData) {
    d->AnnoAdd(strAnnoTime, strAnnoDesc, strAnnoData);
}
void Dalmure::AnnoAdd(Str strAnnoTime, Str strAnnoDesc) {
    d->AnnoAdd(std::move(strAnnoTime), std::move(strAnnoDesc));
}
std::int16_t Dalmure::AnnoCount() {
    return d->AnnoCount();
}
Str Dalmure::AnnoTime(std::int32_t AnnoIndex) {
    return d->AnnoTime(AnnoIndex);
}
Str Dalmure::AnnoDesc(std::int32_t AnnoIndex) {
    return d->AnnoDesc(AnnoIndex);
}
Str Dalmure::AnnoData(std::int32_t AnnoIndex) {
    return d->AnnoData(AnnoIndex);
}
void Dalmure::AnnoDelete(std::int32_t& AnnoIndex) {
    d->AnnoDelete(AnnoIndex);
}
void Dalmure::ClearAll() {
    d->ClearAll();
}
std::int16_t Dalmure::Selected() const {
    return d->Selected();
}

std::int32_t Dalmure::BackColor() const {
    return d->BackColor();
}
void Dalmure::LetBackColor(double value) {
    d->LetBackColor(value);
}
void Dalmure::SetBackColor(std::int32_t value) {
    d->SetBackColor(value);
}
void Dalmure::AllowRefreshPV(bool& blRefresh) {
    d->AllowRefreshPV(blRefresh);
}
void Dalmure::AllowRefreshPV() {
    d->AllowRefreshPV();
}
bool Dalmure::NoPlay() const {
    return d->NoPlay();
}
void Dalmure::NoPlay(bool& value) {
    d->NoPlay(value);
}
bool Dalmure::NoPV() const {
    return d->NoPV();
}
void Dalmure::NoPV(bool& value) {
    d->NoPV(value);
}
bool Dalmure::NoModif() const {
    return d->NoModif();
}
void Dalmure::NoModif(bool& blNoModifSet) {
    d->NoModif(blNoModifSet);
}

std::vector<journal::FoundJournal> Dalmure::RecoverableSessions() {
    return d->RecoverableSessions();
}
bool Dalmure::RecoverSession(const std::string& id) {
    return d->RecoverSession(id);
}
bool Dalmure::RecoverSession(const std::string& id, bool intoOtherHearing) {
    return d->RecoverSession(id, intoOtherHearing);
}
Str Dalmure::HearingId() const {
    return d->HearingId();
}
void Dalmure::HearingId(const Str& value) {
    d->HearingId(value);
}
bool Dalmure::DiscardSession(const std::string& id) {
    return d->DiscardSession(id);
}

bool Dalmure::GlossaryAdd(const Str& abbreviation, const Str& text) {
    return d->GlossaryAdd(abbreviation, text);
}
void Dalmure::GlossaryRemove(const Str& abbreviation) {
    d->GlossaryRemove(abbreviation);
}
void Dalmure::GlossaryClear() {
    d->GlossaryClear();
}

Str Dalmure::GetLogPath(Str& strPath) {
    return d->GetLogPath(strPath);
}

void Dalmure::UserControl_EnterFocus() {
    d->focusNotesEditor();
}
void Dalmure::UserControl_AmbientChanged(const Str& PropertyName) {
    d->applyAmbientChange(PropertyName);
}
void Dalmure::UserControl_Resize() {
    d->fitToSize();
}

} // namespace dalmure
