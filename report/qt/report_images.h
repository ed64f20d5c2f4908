#pragma once
// The pictures of a report, read from the program's folder.
#include <QImage>
#include <QSize>
#include <QString>

#include "herd/input_file.h"

class QPainter;
class QPicture;

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

// The image with its white made transparent: each pixel becomes the colour that, laid over
// white with the alpha 1 - (its darkest channel), gives the pixel back. On a coloured page
// this comes close to multiplying the page by the image, on devices that cannot blend.
QImage WhiteToTransparent(const QImage& image);

// The picture as a box of `box` device pixels shows it: its white made transparent when asked
// (for devices that cannot multiply), and, when it is larger than the box, resampled so that
// each pixel is the average of the picture pixels it covers. A page then shows the same clean
// shape at any resolution (a painter only interpolates between neighbouring pixels, which
// turns a picture shrunk several times into a speckled blob), and a 600-dpi PDF holds the
// picture at the pixel size of its box. Never enlarged: a device stretching a small picture
// interpolates well enough. The same source, box and choice give the same image (cacheKey),
// so a PDF embeds it once however many boxes show it.
QImage PictureForBox(const QImage& source, QSize box, bool whiteToTransparent);

// Plays a page picture (a preview page) onto painter as painter.drawPicture(0, 0, page)
// would, but with every picture in it made by PictureForBox for the size it takes on the
// painter's device, drawn smoothly, and kept lossless by devices that store pictures (a
// printer's PDF spool).
void PlayPagePicture(QPainter& painter, const QPicture& page);

// The chart pictures as the build installs them beside the program: a five-pointed star and
// a round marker, each on white. size is the picture's height in pixels.
QImage MakeStarImage(int size);
QImage MakeBallImage(int size);

}  // namespace ovista
