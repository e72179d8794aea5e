#include "loading/MetafileDecoders.h"

namespace tessivo {

QImage DecodeMetafile(const QByteArray& bytes)
{
    switch (SniffMetafile(bytes.left(MetafileSniffBytes))) {
    case MetafileKind::Wmf: return DecodeWmf(bytes);
    case MetafileKind::Emf: return DecodeEmf(bytes);
    case MetafileKind::None: break;
    }
    return {};
}

} // namespace tessivo
