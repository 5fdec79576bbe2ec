// A crash-safe time series of files in a folder that belongs to one run at a time (POSIX): the
// folder's lock, files written whole through temporary names, and the collection's appends.
#pragma once

#include <dirent.h>
#include <sys/types.h>

#include <string>

// A time series in a folder that belongs to one run at a time: FOLDER/smoke_STEP.vti files,
// FOLDER/smoke.pvd listing them for ParaView with the step as time, and FOLDER/scenario.toml, the
// world that made them. A run stopped at any point, even by SIGKILL, leaves a collection that opens
// with the steps it finished. The files' contents come from the caller (vtk_xml.h).
class VtkSeries {
public:
    // last_step sizes the step in the file names: 6 digits, more if it needs them, so that the
    // names sort by step.
    VtkSeries(std::string folder, long last_step);
    ~VtkSeries();
    VtkSeries(const VtkSeries&) = delete;
    VtkSeries& operator=(const VtkSeries&) = delete;

    // Creates the folder if missing and locks it for this run: another run is refused while this one
    // lasts. On failure, error says why in one line.
    bool lock(std::string& error);
    // Locks the folder if that is not done. A scenario.toml that a series did not write is the
    // user's: it is kept, nothing is written and error names it. Otherwise clears what an earlier
    // run left, its collection first so that nothing looks finished, then its step files and any
    // unfinished temporary files (counted in leftovers_removed), and writes SCENARIO_MARK then
    // scenario as scenario.toml.
    bool start(const std::string& scenario, std::string& error);
    // Writes the image (a .vti file's content) for this step, then lists it in the collection.
    bool write(long step, const std::string& image, std::string& error);
    // Once the run is over: the collection rewritten without its spare room.
    bool finish(std::string& error);
    // Writes content as FOLDER/name through a new file of a unique temporary name, renamed over name
    // once whole, so that name holds either its old self or all of content. It never opens an
    // existing file for writing, so a link planted in the folder cannot redirect it.
    bool write_file(const std::string& name, const std::string& content, std::string& error);

    // The first line of every scenario.toml a series writes: what marks it as this program's, to
    // replace. A comment, so that --scenario reads the file as the world it holds.
    static constexpr const char* SCENARIO_MARK =
        "# smoke-steps wrote this world with the series in this folder; its next run here replaces it.\n";

    std::string folder;
    int digits;                 // of the step in file names
    int leftovers_removed = 0;  // unfinished files of an interrupted run, removed by start

private:
    bool put_file(const std::string& name, const std::string& content, std::string& error, int* keep_open);
    bool rewrite_collection(std::size_t room, std::string& error);
    bool scenario_is_ours(std::string& error) const;
    std::string shown(const std::string& name) const;  // FOLDER/name as a message shows it

    DIR* directory = nullptr;  // open, and locked, from start on
    // The collection stays open while entries go into the room of spaces before its closing tags.
    int collection = -1;
    std::string entries;  // its DataSet lines so far
    off_t entries_end = 0, room_end = 0;
};
