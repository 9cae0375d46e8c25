// A build without SQLite: no journal is kept, none is shipped.
#include "journal/Journal.h"
#include "journal/JournalChanges.h"
#include "platform/text/Cp949.h"

namespace journal {

std::unique_ptr<Journal> Journal::Open(const std::string&, OpenMode, Readers) { return nullptr; }

std::unique_ptr<ChangeReader> ChangeReader::Open(const std::string&) {
  throw JournalError(platform::Utf8ToCp949("저널오류, 이 빌드에는 저널이 없습니다"));
}

}  // namespace journal
