#include "tests/support/jpeg_decoder.h"

#include <csetjmp>
#include <cstdio>
#include <memory>

// libjpeg's headers need size_t and FILE declared first.
#include <jpeglib.h>

namespace vidora::test {

namespace {

// The library's default fatal error handler ends the program; this one jumps back instead, so a
// broken file fails its test and not the whole test program.
struct JumpingErrors {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void jumpBack(j_common_ptr cinfo) {
    (*cinfo->err->output_message)(cinfo);
    std::longjmp(reinterpret_cast<JumpingErrors*>(cinfo->err)->jump, 1);
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// Only plain locals here: a fatal error long-jumps back into this frame.
bool decode(jpeg_decompress_struct& cinfo, JumpingErrors& errors, FILE* file, RgbImage& image) {
    if (setjmp(errors.jump))
        return false;
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    image.width = static_cast<int>(cinfo.output_width);
    image.height = static_cast<int>(cinfo.output_height);
    image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row =
            &image.rgb[static_cast<std::size_t>(cinfo.output_scanline) * image.width * 3];
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

}  // namespace

RgbImage decodeJpegFile(const std::string& path) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return {};
    jpeg_decompress_struct cinfo{};
    JumpingErrors errors{};
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = jumpBack;
    RgbImage image;
    const bool decoded = decode(cinfo, errors, file.get(), image);
    // Also after a failure inside the creation: destroying a zeroed object is harmless.
    jpeg_destroy_decompress(&cinfo);
    if (!decoded)
        return {};
    return image;
}

}  // namespace vidora::test
