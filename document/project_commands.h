// The document's project commands: load a project (on its own thread, the
// other workers stopped first), save it, save it under a new name. The
// bytes of the file are persist/project_file's business; this is where the
// file is opened, the analysed file is found and the view settings applied.
#pragma once
#include <string>

#include "persist/project_file.h"

class TDocument;

// What the project commands keep beside the document.
struct TProjectState {
  // The remembered project file: set by the load and save-as dialogs and the
  // start-up open request; forgotten when the user opens another file.
  std::string path;
};

// The project file name offered in the dialogs: the analysed file's path
// with its extension replaced by ".oxu", or ".oxu" appended.
std::string defaultProjectPath(const TDocument& doc);

// Loads state.path into the document on the calling thread; the result is a
// TProjectLoadResult. The desktop program runs it through startProjectLoad.
int LoadProject(TDocument& doc, TProjectState& state);
// The same over a project already in memory (named state.path in messages).
int LoadProject(TDocument& doc, TProjectState& state, const uint8_t* data, size_t size);

// Writes state.path: 1 success, 0 failure (reported). The previous file is
// replaced only when the new one was written completely.
int SaveProject(TDocument& doc, TProjectState& state);

// The start of a load (after the dialog, and the start-up open request of a
// project): the close question, the workers stopped, the changed flag
// cleared, LoadProject started on the document's project loader. False when
// declined. As the load goes on, the document's observers are told
// projectProgress() and, when it marks fixed registers,
// fixedRegistersRequested() (on the loading thread).
bool startProjectLoad(TDocument& doc, TProjectState& state);
// "Load project...": close question, file dialog, then startProjectLoad.
bool CmFileLoadProject(TDocument& doc, TProjectState& state);
// "Save project": refused while a worker runs; SaveProject when a project
// file is remembered, else save-as. True when saved.
bool CmFileSaveProject(TDocument& doc, TProjectState& state);
// "Save project as...": refused while a worker runs; dialog, SaveProject.
bool CmFileSaveProjectAs(TDocument& doc, TProjectState& state);
// True (with the "Other threads still active!" message) while the scan, a
// symbol loader or a project load runs; ended loads are joined here.
bool otherThreadsActive(TDocument& doc, TProjectState& state);

// Makes the document's project saver (the close question's "save the project") run
// CmFileSaveProject with this state.
void installProjectCommands(TDocument& doc, TProjectState& state);
