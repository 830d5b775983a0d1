// LoadPicture: progress 0, session, decoder, progress 10, DecodePicture.
#include "decode/LoadPicture.h"

#include "decode/DecodePicture.h"
#include "decode/DecoderSession.h"
#include "decode/SourceDirectory.h"

namespace quorvel {

ResultCode LoadPicture(const ImageSource& source, const PictureOptions& options, HLOCAL* pictureInfoOut,
                       HLOCAL* pixelsOut, const Progress& progress) {
  // Before COM or the file is touched, so a host that cancels at once costs nothing.
  if (progress.StopRequestedAt(0)) return kResultAborted;
  DecoderSession session;
  if (session.Status() != kResultSuccess) return session.Status();
  Decoder decoder;
  if (const ResultCode opened = OpenDecoder(session, source, decoder); opened != kResultSuccess) return opened;
  if (progress.StopRequestedAt(10)) return kResultAborted;
  // The few facts of the first directory come from the bytes themselves: Wine's
  // metadata reader crashes on damaged directories.
  const DirectoryFacts directory = ReadSourceDirectory(source);
  return DecodePicture(pictureInfoOut, pixelsOut, session.Factory(), decoder.Get(), options, progress, directory,
                       &source);
}

}  // namespace quorvel
