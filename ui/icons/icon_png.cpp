// Writes one picture of the program's icon as PNG, for the desktop's icon
// theme: icon_png SOURCE.xpm TARGET.png [SIZE]
//
// The pictures are pixel art, so a larger SIZE enlarges each pixel to a
// square block rather than blurring it: by a whole factor up to the least
// common multiple of the two sizes, then down by a whole factor with each
// pixel the mean of its block (48 from 32: three times up, half down).

#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <numeric>

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::fputs("usage: icon_png SOURCE TARGET.png [SIZE]\n", stderr);
        return 2;
    }
    QImage image(QString::fromLocal8Bit(argv[1]));
    if (!image.isNull() && argc == 4) {
        const int size = std::atoi(argv[3]);
        if (size < 1 || size > 1024 || image.width() != image.height()) {
            std::fprintf(stderr, "icon_png: cannot make a %s picture of %s\n", argv[3], argv[1]);
            return 2;
        }
        const int up = std::lcm(image.width(), size);
        image = image.convertToFormat(QImage::Format_ARGB32)
                    .scaled(up, up, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        if (up != size)
            image = image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (image.isNull() || !image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "icon_png: cannot turn %s into %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}
