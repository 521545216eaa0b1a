#include "search/file_index.h"

#include "search/file_index_walk.h"
#include "text/system_error.h"

#include <algorithm>

namespace korvane {

std::string WalkProblem::message() const
{
    return path + ": " + systemErrorText(error);
}

FileIndex FileIndex::build(const std::vector<std::string>& roots, const IndexOptions& options)
{
    FileIndex index;
    index.reader_ = options.reader ? options.reader : &systemFolderReader();
    Walk(index, options).run(roots);
    const auto byHash = [](const Slot& a, const Slot& b) { return a.hash < b.hash || (a.hash == b.hash && a.file < b.file); };
    std::sort(index.byName_.begin(), index.byName_.end(), byHash);
    std::sort(index.byStem_.begin(), index.byStem_.end(), byHash);
    return index;
}

void FileIndex::find(const std::vector<Slot>& slots, std::string_view key, bool stem, std::vector<FileId>& out) const
{
    const std::uint64_t hash = std::hash<std::string_view>{}(key);
    auto it = std::lower_bound(slots.begin(), slots.end(), hash,
                               [](const Slot& slot, std::uint64_t h) { return slot.hash < h; });
    for (; it != slots.end() && it->hash == hash; ++it) {
        const std::string_view candidate = fileKey(it->file);
        if ((stem ? candidate.substr(0, stemLength(it->file)) : candidate) == key)
            out.push_back(it->file);
    }
}

void FileIndex::findByName(std::string_view key, std::vector<FileId>& out) const
{
    find(byName_, key, false, out);
}

void FileIndex::findByStem(std::string_view stemKey, std::vector<FileId>& out) const
{
    find(byStem_, stemKey, true, out);
}

std::string_view FileIndex::fileName(FileId file) const
{
    return std::string_view(names_).substr(files_[file].nameOffset, files_[file].nameLength);
}

std::string_view FileIndex::fileKey(FileId file) const
{
    return std::string_view(keys_).substr(files_[file].keyOffset, files_[file].keyLength);
}

std::string FileIndex::filePath(FileId file) const
{
    std::string path;
    appendFolderPath(files_[file].folder, path);
    if (path != "/")
        path += '/';
    path.append(fileName(file));
    return path;
}

bool FileIndex::readable(FileId file) const
{
    return reader_->readable(filePath(file)) == 0;
}

std::vector<bool> FileIndex::readable(const std::vector<FileId>& files) const
{
    // A byte each (not a bit), so that threads never write the same word.
    std::vector<std::uint8_t> answers(files.size());
    const auto ask = [&](std::size_t from, std::size_t to) {
        for (std::size_t k = from; k < to; ++k)
            answers[k] = readable(files[k]) ? 1 : 0;
    };
    constexpr std::size_t kPerThread = 512;
    const std::size_t threads = std::clamp<std::size_t>(files.size() / kPerThread, 1, 4);
    const std::size_t share = (files.size() + threads - 1) / threads;
    {
        std::vector<std::jthread> helpers;
        for (std::size_t t = 1; t < threads; ++t)
            helpers.emplace_back(ask, t * share, std::min(files.size(), (t + 1) * share));
        ask(0, std::min(files.size(), share));
    }
    return {answers.begin(), answers.end()};
}

std::string FileIndex::folderPath(FolderId folder) const
{
    std::string path;
    appendFolderPath(folder, path);
    return path;
}

void FileIndex::appendFolderPath(FolderId folder, std::string& out) const
{
    const Folder& f = folders_[folder];
    const std::string_view name(names_.data() + f.nameOffset, f.nameLength);
    if (f.parent == kNoFolder) {
        out.append(name); // "/", or a root that could not be made absolute
        return;
    }
    appendFolderPath(f.parent, out);
    if (out.empty() || out.back() != '/')
        out += '/';
    out.append(name);
}

std::string_view FileIndex::folderKey(FolderId folder) const
{
    return std::string_view(keys_).substr(folders_[folder].keyOffset, folders_[folder].keyLength);
}

} // namespace korvane
