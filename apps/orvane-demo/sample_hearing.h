// A realistic sample hearing: a two-hour criminal trial day with four witnesses, about 150
// annotations, each with the clerk's notes. The same hearing in French and in English.
#pragma once

#include "app_folder.h"

#include <QString>
#include <QTime>

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
};

SampleHearing sampleHearing(Language language);

} // namespace orvane
