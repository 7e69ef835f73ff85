#include "zip/za_entry.h"

#include "zip/directory/za_dir_item.h"

namespace zip {

const std::string& TZAEntry::FileName() const { return item_->FileName; }
uint64_t TZAEntry::CompressedSize() const { return item_->TrueCompressedSize(); }
uint64_t TZAEntry::UncompressedSize() const { return item_->TrueUncompressedSize(); }
uint16_t TZAEntry::ModTime() const { return item_->ModTime; }
uint16_t TZAEntry::ModDate() const { return item_->ModDate; }
uint32_t TZAEntry::Crc() const { return item_->Crc; }
uint32_t TZAEntry::ExternalAttributes() const { return item_->ExternalAttributes; }
bool TZAEntry::IsFolder() const { return item_->IsFolder(); }
uint16_t TZAEntry::Method() const { return item_->Method; }
bool TZAEntry::Encrypted() const { return (item_->Flags & kFlagEncrypted) != 0; }
const std::string& TZAEntry::Comment() const { return item_->Extras().Comment; }

}  // namespace zip
