#include "net/RetrievedFiles.h"

#include <sys/statvfs.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "dcmtk/dcmdata/dcmetinf.h"
#include "net/Association.h"
#include "net/NetFailure.h"

namespace fs = std::filesystem;

namespace {

std::string Hex64(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::string StringOf(DcmItem* item, const DcmTagKey& tag) {
    OFString value;
    if (item == nullptr || item->findAndGetOFString(tag, value).bad()) return {};
    return value;
}

}  // namespace

bool IsSafeUid(std::string_view uid) {
    if (uid.empty() || uid.size() > 64 || uid.front() == '.' || uid.back() == '.') return false;
    char previous = 0;
    for (const char c : uid) {
        if (c == '.' && previous == '.') return false;
        if (c != '.' && (c < '0' || c > '9')) return false;
        previous = c;
    }
    return true;
}

std::string NameFromUid(std::string_view uid) {
    // UIDs are padded to an even length with a NUL or a space.
    while (!uid.empty() && (uid.back() == '\0' || uid.back() == ' '))
        uid.remove_suffix(1);
    if (IsSafeUid(uid)) return std::string(uid);
    if (uid.empty()) {
        static std::atomic<std::uint64_t> counter{0};
        static const std::uint64_t seed = std::random_device{}();
        return "unnamed-" + Hex64(seed * 0x9E3779B97F4A7C15ull + counter.fetch_add(1));
    }
    // FNV-1a: the same bytes give the same name, so a second copy replaces the first.
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (const char c : uid) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
    }
    return "x" + Hex64(hash);
}

bool ReadStoredFileIdentity(const std::string& path, StoredFileIdentity& identity) {
    SetUpNetworkLibrary();
    DcmFileFormat file;
    const OFCondition condition = file.loadFileUntilTag(path.c_str(), EXS_Unknown, EGL_noChange, DCM_MaxReadLength,
                                                        ERM_autoDetect, DCM_SeriesInstanceUID);
    if (condition.bad()) return false;
    DcmDataset* dataset = file.getDataset();
    DcmMetaInfo* meta = file.getMetaInfo();
    identity.studyUid = StringOf(dataset, DCM_StudyInstanceUID);
    identity.seriesUid = StringOf(dataset, DCM_SeriesInstanceUID);
    identity.sopClassUid = StringOf(dataset, DCM_SOPClassUID);
    identity.sopInstanceUid = StringOf(dataset, DCM_SOPInstanceUID);
    if (identity.sopClassUid.empty()) identity.sopClassUid = StringOf(meta, DCM_MediaStorageSOPClassUID);
    if (identity.sopInstanceUid.empty()) identity.sopInstanceUid = StringOf(meta, DCM_MediaStorageSOPInstanceUID);
    identity.transferSyntaxUid = StringOf(meta, DCM_TransferSyntaxUID);
    return true;
}

RetrievedFileStore::RetrievedFileStore(std::string folder, std::uint64_t keepFreeBytes)
    : m_folder(std::move(folder)), m_keepFreeBytes(keepFreeBytes) {}

Reason RetrievedFileStore::CheckRoom() const {
    std::error_code error;
    fs::create_directories(m_folder, error);
    struct statvfs disk {};
    if (::statvfs(m_folder.c_str(), &disk) != 0) return Reason(NetFailure::FileNotWritten).About(m_folder).Errno(errno);
    const std::uint64_t free = static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize;
    if (free < m_keepFreeBytes) {
        return Reason(NetFailure::DiskNearlyFull)
            .About(m_folder)
            .Numbers(static_cast<std::int64_t>(free), static_cast<std::int64_t>(m_keepFreeBytes));
    }
    return {};
}

std::unique_ptr<TemporaryFile> RetrievedFileStore::NewTemporary(Reason* why) const {
    std::error_code error;
    fs::create_directories(m_folder, error);
    auto file = std::make_unique<TemporaryFile>(m_folder + "/incoming.dcm", TemporaryFile::Kind::Named);
    if (file->Descriptor() < 0) {
        SetReason(why, Reason(NetFailure::FileNotWritten).About(m_folder).Errno(errno));
        return nullptr;
    }
    return file;
}

std::string RetrievedFileStore::Place(TemporaryFile& file, const std::string& instanceUid, Reason* why) const {
    StoredFileIdentity identity;
    ReadStoredFileIdentity(file.Path(), identity);
    if (identity.sopInstanceUid.empty()) identity.sopInstanceUid = instanceUid;
    const std::string studyFolder =
        m_folder + "/" + (identity.studyUid.empty() ? std::string("unknown-study") : NameFromUid(identity.studyUid));
    std::string target = studyFolder + "/" + NameFromUid(identity.sopInstanceUid) + ".dcm";
    std::error_code error;
    fs::create_directories(studyFolder, error);
    file.SetTarget(target);
    if (!file.CloseAndReplaceTarget()) {
        SetReason(why, Reason(NetFailure::FileNotWritten).About(target).Errno(errno));
        return {};
    }
    return target;
}
