#include "FuzzEntries.h"
#include "rack/FeedRecordingIndex.h"

void RackFuzzEntries::recordingIndex(const QByteArray& bytes) {
    const FeedRecordingIndex::Parsed parsed = FeedRecordingIndex::parse(bytes);
    const qsizetype lines = bytes.count('\n') + 1;
    check(parsed.entries.size() + parsed.skipped.size() <= lines, "each index line is kept or skipped once");
    for (const FeedRecordingIndex::Skipped& skipped : parsed.skipped)
        check(skipped.line >= 1 && skipped.line <= lines && !skipped.reason.isEmpty(),
              "a skipped line has its number and a reason");
    for (const FeedRecordingIndex::Entry& entry : parsed.entries) {
        const FeedSnapshot& snapshot = entry.snapshot;
        check(FeedRecordingIndex::isPlainFileName(snapshot.file),
              "a kept entry names a file inside the folder");
        check(snapshot.status >= 100 && snapshot.status <= 599, "a kept entry has an HTTP status");
        check(snapshot.number >= 1 && snapshot.number <= FeedRecordingIndex::LastNumber &&
                  snapshot.bytes >= 0,
              "a kept entry's numbers are in range");
        check(!snapshot.contentType.contains('\n') && !snapshot.contentType.contains('\r'),
              "a kept content type cannot split an HTTP header");
        const FeedRecordingIndex::Parsed again =
            FeedRecordingIndex::parse(FeedRecordingIndex::line(snapshot));
        check(again.entries.size() == 1 && again.skipped.isEmpty(), "a kept entry written back reads back");
        const FeedSnapshot& reread = again.entries.constFirst().snapshot;
        check(reread.number == snapshot.number && reread.file == snapshot.file &&
                  reread.contentType == snapshot.contentType && reread.status == snapshot.status &&
                  reread.bytes == snapshot.bytes && reread.sha256 == snapshot.sha256,
              "a kept entry written back reads the same");
    }
}
