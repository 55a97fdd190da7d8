#include "platform/SystemCharsetConversion.h"

#include <iconv.h>

#include <cerrno>

namespace platform {

namespace {

// Closes the conversion descriptor when the conversion ends, however it ends.
class CIconv
{
public:
    explicit CIconv(iconv_t descriptor) : m_descriptor(descriptor) {}
    ~CIconv() { iconv_close(m_descriptor); }
    CIconv(const CIconv&) = delete;
    CIconv& operator=(const CIconv&) = delete;

    iconv_t Descriptor() const { return m_descriptor; }

private:
    iconv_t m_descriptor;
};

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);

} // namespace

bool ConvertWithSystemConverter(const std::string& text, const std::string& name, std::string& utf8)
{
    const iconv_t descriptor = iconv_open("UTF-8", name.c_str());
    if (descriptor == kNoDescriptor)
        return false;
    const CIconv converter(descriptor);

    utf8.resize(text.size() + text.size() / 2 + 16);
    char* input = const_cast<char*>(text.data());
    std::size_t inputLeft = text.size();
    std::size_t written = 0;
    // After the input, a null input lets a converter with shift states return to its
    // initial state.
    bool flushed = false;
    while (!flushed) {
        char* output = &utf8[written];
        std::size_t outputLeft = utf8.size() - written;
        const bool flushing = inputLeft == 0;
        const std::size_t result =
            flushing ? iconv(descriptor, nullptr, nullptr, &output, &outputLeft)
                     : iconv(descriptor, &input, &inputLeft, &output, &outputLeft);
        const int error = errno;
        written = utf8.size() - outputLeft;
        if (result != static_cast<std::size_t>(-1)) {
            flushed = flushing;
            continue;
        }
        if (error == E2BIG) {
            utf8.resize(utf8.size() * 2);
        } else if (error == EILSEQ || error == EINVAL) {
            // An undefined sequence is skipped a byte at a time; one cut off by the end of
            // the text ends it.
            if (utf8.size() - written < 1)
                utf8.resize(utf8.size() * 2);
            utf8[written++] = '?';
            const std::size_t skipped = error == EILSEQ ? 1 : inputLeft;
            input += skipped;
            inputLeft -= skipped;
        } else {
            utf8.clear();
            return false;
        }
    }
    utf8.resize(written);
    return true;
}

} // namespace platform
