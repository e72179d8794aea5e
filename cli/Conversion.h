#pragma once

#include <QByteArray>

namespace tessivo {

struct ConvertOptions;

struct ConversionOutput {
    int exitCode = 0;
    QByteArray out; // standard output
    QByteArray err; // standard error
};

// Loads the picture onto a Canvas as the window's open does, runs a generation run to its end
// as the window's generate does, and gives the text the result box would then hold.
ConversionOutput RunConversion(const ConvertOptions& options);

} // namespace tessivo
