# The sources of the libraries without a toolkit, relative to src/, in the groups that build
# them: read by src/CMakeLists.txt and by the fuzz build, which compiles them again with its own
# instrumentation.

# The control and the platform interfaces' shared models: no Qt, libmdb or GIO.
set(DALMURE_CORE_SOURCES
  annotations/annotation_list.cpp
  commands/commands.cpp
  control/annotations.cpp
  control/dalmure.cpp
  control/find.cpp
  control/layout.cpp
  control/session_journal.cpp
  interaction/editor.cpp
  interaction/grid_handlers.cpp
  interaction/notes_tools.cpp
  interaction/notes_writing.cpp
  journal/journal.cpp
  journal/journal_db.cpp
  journal/live_slot.cpp
  journal/recovery.cpp
  journal/session_limits.cpp
  minutes/page.cpp
  minutes/view_print.cpp
  settings/catalogue.cpp
  settings/settings.cpp
  settings/startup.cpp
  support/errors.cpp
  support/files.cpp
  support/ini_reader.cpp
  support/log.cpp
  support/numeric.cpp
  support/text.cpp
  platform/grid_model.cpp
  platform/ids.cpp
  platform/text_box_model.cpp)

# The desktop's services: the .mdb catalogue through libmdb, the default browser through GIO.
set(DALMURE_DESKTOP_SOURCES
  platform/desktop/gio_shell.cpp
  platform/mdb/mdb_catalogue.cpp)

# The in-memory platform.
set(DALMURE_HEADLESS_SOURCES
  platform/headless/headless_controls.cpp
  platform/headless/headless_platform.cpp
  platform/headless/headless_services.cpp
  platform/headless/headless_surface.cpp)

# The public Dalmure class (libdalmure's own source).
set(DALMURE_API_SOURCES control/dalmure_public.cpp)

set(DALMURE_SOURCES ${DALMURE_CORE_SOURCES} ${DALMURE_DESKTOP_SOURCES} ${DALMURE_HEADLESS_SOURCES}
    ${DALMURE_API_SOURCES})
