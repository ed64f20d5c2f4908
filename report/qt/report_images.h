#pragma once
// The pictures of a report, read from the program's folder.
#include <QImage>
#include <QString>

#include "herd/input_file.h"

namespace ovista {

// The largest picture file read. The centre's logo fills a box under 2 cm high in the page
// header, a megabyte or so even as an uncompressed bitmap at 600 dpi.
inline constexpr InputKind kPictureInput{"a picture", 16 * kMegabyte};

struct ReportImages {
    QImage star;
    QImage ball;
    QImage productLogo;
    QImage centreLogo;  // null when the centre supplied none
};

// The folder that holds the program itself (its real folder, links resolved).
QString ProgramFolder();

// "star.bmp" and "ball.bmp" from folder (OvistaError naming the file when one cannot be
// read, is not a regular file or is larger than kPictureInput: a report without its ratings
// would mislead), the product logo, and "CentreLogo.jpg" when it is there and readable.
ReportImages LoadReportImages(const QString& folder);

// LoadReportImages(folder), read again only when the folder or one of the picture files
// changed since the last call: a batch draws thousands of reports with the same pictures,
// and a centre that replaces its logo sees it on the next report.
const ReportImages& CurrentReportImages(const QString& folder);

// The chart pictures as the build installs them beside the program: a five-pointed star and
// a round marker, each on white. size is the picture's height in pixels.
QImage MakeStarImage(int size);
QImage MakeBallImage(int size);

}  // namespace ovista
