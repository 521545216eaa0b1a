#include "restore/restore_undo.h"

#include "restore/journal_reader.h"
#include "restore/undo_steps.h"

#include <algorithm>

namespace korvane {

namespace {

using Kind = JournalRecord::Kind;

// What one intent of a version 2 journal came to, from all its lines.
struct Intent {
    const JournalRecord* intent = nullptr; // FolderIntent or Put
    const JournalRecord* made = nullptr;   // FolderMade
    const JournalRecord* written = nullptr;
    const JournalRecord* copied = nullptr;
    const JournalRecord* linked = nullptr;
    bool dropped = false;
};

std::vector<Intent> intentsOf(const Journal& journal)
{
    std::vector<Intent> intents;
    for (const JournalRecord& r : journal.records) {
        if (r.kind == Kind::FolderIntent || r.kind == Kind::Put) {
            intents.push_back({&r});
            continue;
        }
        if (r.id == 0 || r.id > intents.size())
            continue; // roots; the reader lets nothing else through
        Intent& i = intents[r.id - 1];
        if (r.kind == Kind::FolderMade)
            i.made = &r;
        else if (r.kind == Kind::Written)
            i.written = &r;
        else if (r.kind == Kind::Copied)
            i.copied = &r;
        else if (r.kind == Kind::Linked)
            i.linked = &r;
        else if (r.kind == Kind::Dropped)
            i.dropped = true;
    }
    return intents;
}

void undoPut(UndoSteps& steps, const Intent& i)
{
    const JournalRecord& put = *i.intent;
    // A copy that never got its name, or whose naming the run gave up.
    steps.removeTemporary(put.temporary, i.written ? std::optional<Identity>({i.written->device, i.written->inode,
                                                                              i.written->birth})
                                                   : std::nullopt);
    if (i.dropped)
        return;
    if (i.written) {
        CopyProof proof{{i.written->device, i.written->inode, i.written->birth}, i.written->size, i.written->digest,
                        std::nullopt};
        if (i.copied)
            proof.ctime = i.copied->time;
        steps.removeCopy(put.path, put.source, proof, i.copied != nullptr);
        return;
    }
    // Linked, or cut short between its intent and its line: the source's
    // very file, which only a link can have put there.
    LinkProof proof{{put.device, put.inode, 0}, put.size, put.time, std::nullopt};
    if (i.linked)
        proof.ctime = i.linked->time;
    steps.removeLink(put.path, put.source, proof, i.linked != nullptr);
}

void undoFolder(UndoSteps& steps, const Intent& i)
{
    const JournalRecord& intent = *i.intent;
    const std::optional<Identity> made =
        i.made ? std::optional<Identity>({i.made->device, i.made->inode, i.made->birth}) : std::nullopt;
    steps.removeTemporaryFolder(intent.temporary, made);
    if (made && !i.dropped)
        steps.removeFolder(intent.path, *made);
}

void undoVersion2(const Journal& journal, UndoSteps& steps)
{
    std::vector<std::string> roots;
    for (const JournalRecord& r : journal.records)
        if (r.kind == Kind::Root)
            roots.push_back(r.path);
    steps.setRoots(std::move(roots));
    const std::vector<Intent> intents = intentsOf(journal);
    for (auto it = intents.rbegin(); it != intents.rend(); ++it) {
        // What the run itself took back leaves nothing to name when stopped.
        const bool folder = it->intent->kind == Kind::FolderIntent;
        if (it->dropped ? steps.stopRequested() : steps.stopped(it->intent->path, folder))
            continue;
        if (!folder)
            undoPut(steps, *it);
        else
            undoFolder(steps, *it);
    }
}

// A journal of the first version holds no identities of folders or
// temporaries: a temporary goes only where the run wrote, and a copy only
// when it is byte for byte its source, another file.
void undoVersion1(const Journal& journal, UndoSteps& steps)
{
    std::vector<std::string> runFolders;
    for (const JournalRecord& r : journal.records) {
        if (r.kind == Kind::OldFolder)
            runFolders.push_back(r.path);
        else if (r.kind == Kind::OldLink || r.kind == Kind::OldCopy)
            runFolders.emplace_back(folderPart(r.path));
    }
    for (auto it = journal.records.rbegin(); it != journal.records.rend(); ++it) {
        const JournalRecord& r = *it;
        if (steps.stopped(r.path, r.kind == Kind::OldFolder))
            continue;
        switch (r.kind) {
        case Kind::OldFolder:
            steps.removeOldFolder(r.path);
            break;
        case Kind::OldTemporary:
            if (std::find(runFolders.begin(), runFolders.end(), folderPart(r.path)) != runFolders.end())
                steps.removeTemporary(r.path, std::nullopt);
            break;
        case Kind::OldLink:
            steps.removeLink(r.path, r.source, LinkProof{{r.device, r.inode, 0}, std::nullopt, std::nullopt, std::nullopt},
                             true);
            break;
        case Kind::OldCopy:
            steps.removeOldCopy(r.path, r.source, r.size);
            break;
        default:
            break;
        }
    }
}

UndoResult undo(const std::string& path, bool act, std::stop_token stop)
{
    UndoResult result;
    std::string error;
    const std::optional<Journal> journal = readJournal(path, error);
    if (!journal) {
        result.error = error.starts_with("damaged") ? error + "; nothing was removed" : error;
        return result;
    }
    result.read = true;
    UndoSteps steps(act, std::move(stop), result);
    if (journal->version == 1) {
        steps.setLifetime(journal->begun, journal->ended);
        undoVersion1(*journal, steps);
    }
    else
        undoVersion2(*journal, steps);
    return result;
}

} // namespace

UndoResult previewUndo(const std::string& journal, std::stop_token stop)
{
    return undo(journal, false, std::move(stop));
}

UndoResult undoRestore(const std::string& journal, std::stop_token stop)
{
    return undo(journal, true, std::move(stop));
}

} // namespace korvane
