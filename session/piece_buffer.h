// The pieces of a file being received, on their way to the disk. Pieces that continue the run
// gathered so far are copied into one buffer; the run is written at its offset with one call when
// a piece does not continue it (a gap, a piece out of order or sent again), when it would outgrow
// the buffer, or when the owner flushes it (the file is complete, the transfer is abandoned). A
// transfer of pieces in order thus costs one write per buffer instead of one per piece.
//
// The buffer remembers the packet numbers it holds, so that after a failed write the owner can
// forget them and have them count as never received. Owned by the client thread.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <cstdint>
#include <vector>

inline constexpr qsizetype kPieceBufferBytes = 512 * 1024;

class TPieceBuffer {
  public:
    explicit TPieceBuffer(qsizetype capacity = kPieceBufferBytes) : capacity_(capacity) {}

    // Whether a piece of `size` bytes at `offset` may join the run (an empty buffer takes anything
    // that fits).
    bool Continues(int64_t offset, qsizetype size) const;
    // Adds a piece the run can take (Continues said so). `packet` is remembered unless it is 0.
    void Append(int64_t offset, QByteArrayView data, int32_t packet);
    bool IsEmpty() const { return bytes_.isEmpty(); }
    // The packet numbers remembered for the run.
    const std::vector<int32_t>& Packets() const { return packets_; }

    // Writes the run at its offset in `file` and empties the buffer; true when it was written (or
    // nothing was waiting).
    // On a failed write the run stays, for the owner to read Packets and Clear.
    bool Flush(QFile& file);
    void Clear();

  private:
    qsizetype capacity_;
    QByteArray bytes_;
    int64_t start_ = 0;
    std::vector<int32_t> packets_;
};
