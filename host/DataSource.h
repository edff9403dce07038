// A data source module as the Source Manager sees it: loaded by path, reached through DS_Entry,
// and every call counted. Playing a TWAIN 2 Source Manager, it also answers the application's
// calls that are its own, hands a TWAIN 2 source its entry points before opening it, and delivers
// the messages the source sends through DSM_Entry to the callback the application registered.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tracewell/twain.h"

class CDataSource {
public:
    CDataSource() = default;
    ~CDataSource();
    CDataSource(const CDataSource&) = delete;
    CDataSource& operator=(const CDataSource&) = delete;

    // Loads the module and finds DS_Entry; false with Error() saying why.
    bool Load(const std::string& path);
    // Unloads the module, which closes its trace.
    void Unload();
    // Plays the Windows Source Manager over the data sources (*.ds) below `folder`: it lists them
    // as the application opens it (each loaded, asked its identity, freed) and loads the one the
    // application opens only while it is open. Takes PlayTwain2Manager as well; false with Error()
    // when the folder holds no data source.
    bool UseFolder(const std::string& folder);
    // The sources listed when the application opened the Source Manager: path and identity.
    struct ListedSource {
        std::string path;
        TW_IDENTITY identity;
    };
    const std::vector<ListedSource>& SourcesListed() const { return m_list; }
    // The listed source MSG_OPENDS loaded last; its path is empty when none was.
    const ListedSource& SourceOpened() const { return m_opened; }
    const std::string& Error() const { return m_error; }

    // From now on a TWAIN 2 Source Manager; false when its entry points cannot be given a place.
    // One at a time: DSM_Entry reaches the one that played it last.
    bool PlayTwain2Manager();

    TW_UINT16 Call(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);

    // What the source sends through the Source Manager's DSM_Entry.
    TW_UINT16 FromSource(TW_IDENTITY* origin, TW_IDENTITY* destination, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                         TW_MEMREF data);

    // Every later call is written to `transcript` as well (null: to nowhere).
    void RecordTo(FILE* transcript) { m_transcript = transcript; }

    int Calls() const { return m_calls; }
    int Failures() const { return m_failures; }
    int SourceMessages() const { return m_sourceMessages; }

private:
    TW_UINT16 Forward(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
    // True when the call is the Source Manager's own; *rc is its answer.
    bool AnswerOwnCall(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data, TW_UINT16* rc);
    void ListSources(TW_IDENTITY* origin);
    const ListedSource* Listed(const TW_IDENTITY* wanted) const;
    bool AnswerFromList(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data, TW_UINT16* rc);
    TW_UINT16 Deliver(TW_IDENTITY* origin, TW_IDENTITY* destination, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                      TW_MEMREF data);

    void* m_module = nullptr;
    DSENTRYPROC m_entry = nullptr;
    std::string m_error;
    int m_calls = 0;
    int m_failures = 0;
    FILE* m_transcript = nullptr;
    bool m_inCall = false;  // the source is answering a call of the application's

    // The Windows Source Manager's part: the folder searched and what it found there.
    std::string m_folder;
    std::vector<std::string> m_folderSources;
    std::vector<ListedSource> m_list;
    ListedSource m_opened = {};

    // The TWAIN 2 Source Manager's part.
    bool m_twain2 = false;
    TW_ENTRYPOINT* m_entryPoints = nullptr;  // in the shared heap, so that it prints at a fixed address
    TW_ENTRYPOINT m_given = {};              // what it held when it was handed over
    TW_ID m_applicationId = 0;
    TW_ID m_sourceId = 0;
    bool m_sourceOpen = false;
    TW_CALLBACK m_callback = {};  // CallBackProc null until the application registers one
    int m_sourceMessages = 0;
};
