// The minutes of the hearing: the page "pvData.html" in the application folder, written from the
// template of the user's language and the annotation list, and the view and print commands that
// open it in the desktop's browser or print it.
#pragma once

#include "platform/platform.h"
#include "settings/settings.h"
#include "support/files.h"
#include "support/log.h"
#include "support/text.h"

#include <string>

namespace dalmure {

// The case fields the template is filled with. The host owns them; an empty date is filled in
// with the day the page is written.
struct CaseFields {
    Str& caseNumber;
    Str& dateCreated;
    Str& userName;
};

class Minutes {
  public:
    // What the commands need from the rest of the control.
    class Host {
      public:
        // True when an annotation is selected in a list that holds one.
        virtual bool hasSelection() = 0;
        // Called after each page writing, which moves the grid's current cell.
        virtual void pageWritten() = 0;

      protected:
        ~Host() = default;
    };

    Minutes(platform::Platform& form, Settings& settings, Log& log, CaseFields fields, Host& host);

    // Writes the page, ending it with a print script when print is true; false when it could
    // not be written whole (the previous page then stays, and the failure is logged).
    bool writePage(bool print);
    // Appends the template name of folder, its case fields filled in (markup characters
    // escaped when escape is true), to page in Windows-1252 bytes.
    void appendTemplate(const files::Folder& folder, const char* name, std::string& page,
                        bool escape);

    // The view command: writes the page and opens it in the program the desktop associates
    // with HTML pages.
    void view();
    // The print command: writes the page and loads it into the browser component, which
    // prints it.
    void print();

  private:
    // Tells the clerk that the minutes could not be written.
    void tellNotWritten();

    platform::Platform& form_;
    Settings& settings_;
    Log& log_;
    CaseFields fields_;
    Host& host_;
};

} // namespace dalmure
