// The FSUIPC request block as the link client lays it out and the stand-in serves it: records
// one after another, each a header of 32-bit words followed by its data, then an end mark.
// The link client keeps its own copy of this layout on purpose: the stand-in and the tests
// read the block as the server does, so a wrong layout in the client shows as a failure
// instead of being agreed with.
#pragma once
#include <cstdint>
#include <functional>

enum : uint32_t { RecordEnd = 0, RecordRead = 1, RecordWrite = 2 };

// Header words, by their byte position in the record.
const uint32_t RecordTypeAt = 0;
const uint32_t RecordOffsetAt = 4;
const uint32_t RecordSizeAt = 8;
const uint32_t RecordDestinationAt = 12;  // reads only: the client's address for the result
const uint32_t ReadHeaderBytes = 16;
const uint32_t WriteHeaderBytes = 12;
const uint32_t EndMarkBytes = 4;

uint32_t BlockWord(const uint8_t* at);
uint32_t HeaderBytes(uint32_t type);

struct BlockRecord {
  uint32_t type;  // RecordRead or RecordWrite
  uint32_t offset;
  uint32_t size;
  uint8_t* data;
};

// Visits the records of a block of size bytes in order, never reading outside it. The walk
// stops at the end mark, at an unknown type or at a record that does not fit. Returns the
// bytes walked, the end mark included.
uint32_t WalkRequestBlock(uint8_t* block, uint32_t size,
                          const std::function<void(const BlockRecord&)>& visit);
