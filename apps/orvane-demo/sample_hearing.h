// A realistic sample hearing: a two-hour criminal trial day with four witnesses, about 150
// annotations, each with the clerk's notes. The same hearing in French and in English.
#pragma once

#include "app_folder.h"

#include <QString>
#include <QTime>

#include <utility>
#include <vector>

namespace orvane {

struct SampleAnnotation {
    QString time;        // "HH:MM:SS"
    QString description; // at most 50 characters
    QString notes;
};

struct SampleHearing {
    QString caseNumber;
    QString clerk;
    QString date;                              // as the minutes print it
    QTime start;                               // the recording's first second
    QTime end;                                 // its last
    std::vector<SampleAnnotation> annotations; // in time order, times all different
    // The parties, counsel and witnesses as abbreviations the notes editor expands (the
    // hearing's glossary, given to the control).
    std::vector<std::pair<QString, QString>> parties;
};

// The notes are written with apostrophe where the text has one, as the control would have
// typed them (’ or the grave accent, see iniApostrophe).
SampleHearing sampleHearing(Language language, QChar apostrophe = QLatin1Char('\''));

} // namespace orvane
