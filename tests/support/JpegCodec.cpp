// libjpeg-turbo as the tests' independent decoder and reference encoder.
#include "JpegCodec.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace testsupport {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void onError(j_common_ptr info)
{
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->jump, 1);
}

} // namespace

QImage DecodedJpeg::toImage() const
{
    if (!ok)
        return {};
    const bool grey = components == 1;
    QImage image(width, height, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    const std::size_t row = static_cast<std::size_t>(width) * (grey ? 1 : 3);
    for (int y = 0; y < height; ++y)
        std::copy_n(pixels.data() + row * static_cast<std::size_t>(y), row, image.scanLine(y));
    return image;
}

DecodedJpeg decodeJpeg(const QByteArray& bytes)
{
    DecodedJpeg result;
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onError;
    if (setjmp(errors.jump)) {
        result.ok = false;
        result.error = errors.message;
        jpeg_destroy_decompress(&info);
        return result;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_save_markers(&info, JPEG_COM, 0xFFFF);
    jpeg_read_header(&info, TRUE);
    for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next)
        result.comments.emplace_back(reinterpret_cast<const char*>(m->data), m->data_length);
    for (int c = 0; c < info.num_components; ++c) {
        result.h.push_back(info.comp_info[c].h_samp_factor);
        result.v.push_back(info.comp_info[c].v_samp_factor);
    }
    info.dct_method = JDCT_FLOAT;
    jpeg_start_decompress(&info);
    result.width = static_cast<int>(info.output_width);
    result.height = static_cast<int>(info.output_height);
    result.components = info.output_components;
    const std::size_t row = static_cast<std::size_t>(result.width) * static_cast<std::size_t>(result.components);
    result.pixels.resize(row * static_cast<std::size_t>(result.height));
    while (info.output_scanline < info.output_height) {
        JSAMPROW line = result.pixels.data() + row * info.output_scanline;
        jpeg_read_scanlines(&info, &line, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    result.ok = true;
    return result;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

DecodedJpeg decodeJpegFile(const QString& path)
{
    const QByteArray bytes = readFile(path);
    if (bytes.isEmpty()) {
        DecodedJpeg result;
        result.error = "cannot read " + path.toStdString();
        return result;
    }
    return decodeJpeg(bytes);
}

QByteArray referenceEncode(const QImage& image, int quality)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(rgb.width());
    info.image_height = static_cast<JDIMENSION>(rgb.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.optimize_coding = TRUE;
    info.dct_method = JDCT_FLOAT;
    info.comp_info[0].h_samp_factor = 2;
    info.comp_info[0].v_samp_factor = 2;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW line = const_cast<unsigned char*>(rgb.constScanLine(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    QByteArray result(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return result;
}

} // namespace testsupport
