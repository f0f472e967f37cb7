#include "request_block.h"

#include "bytes.h"

uint32_t BlockWord(const uint8_t* at) { return LoadAs<uint32_t>(at); }

uint32_t HeaderBytes(uint32_t type) {
  return type == RecordRead ? ReadHeaderBytes : WriteHeaderBytes;
}

uint32_t WalkRequestBlock(uint8_t* block, uint32_t size,
                          const std::function<void(const BlockRecord&)>& visit) {
  uint32_t at = 0;
  while (at + EndMarkBytes <= size) {
    uint32_t type = BlockWord(block + at + RecordTypeAt);
    if (type == RecordEnd) return at + EndMarkBytes;
    if (type != RecordRead && type != RecordWrite) return at;
    uint32_t header = HeaderBytes(type);
    if (at + header > size) return at;
    BlockRecord record = {type, BlockWord(block + at + RecordOffsetAt),
                          BlockWord(block + at + RecordSizeAt), block + at + header};
    if (record.size > size - at - header) return at;
    visit(record);
    at += header + record.size;
  }
  return at;
}
