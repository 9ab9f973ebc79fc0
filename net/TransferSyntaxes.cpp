#include "net/TransferSyntaxes.h"

const std::vector<std::string>& UncompressedTransferSyntaxes() {
    static const std::vector<std::string> syntaxes = {
        "1.2.840.10008.1.2.1",  // explicit VR little endian
        "1.2.840.10008.1.2",    // implicit VR little endian
        "1.2.840.10008.1.2.2",  // explicit VR big endian
    };
    return syntaxes;
}

const std::vector<std::string>& CompressedTransferSyntaxes() {
    static const std::vector<std::string> syntaxes = {
        "1.2.840.10008.1.2.1.99",  // deflated
        "1.2.840.10008.1.2.5",     // RLE
        "1.2.840.10008.1.2.4.70",  // JPEG lossless, first-order prediction
        "1.2.840.10008.1.2.4.57",  // JPEG lossless
        "1.2.840.10008.1.2.4.80",  // JPEG-LS lossless
        "1.2.840.10008.1.2.4.90",  // JPEG 2000 lossless
        "1.2.840.10008.1.2.4.50",  // JPEG baseline
        "1.2.840.10008.1.2.4.51",  // JPEG extended
        "1.2.840.10008.1.2.4.81",  // JPEG-LS near-lossless
        "1.2.840.10008.1.2.4.91",  // JPEG 2000
    };
    return syntaxes;
}

std::vector<std::string> ReceivableTransferSyntaxes() {
    std::vector<std::string> all = UncompressedTransferSyntaxes();
    all.insert(all.end(), CompressedTransferSyntaxes().begin(), CompressedTransferSyntaxes().end());
    return all;
}

bool IsLossyTransferSyntax(const std::string& uid) {
    return uid == "1.2.840.10008.1.2.4.50" || uid == "1.2.840.10008.1.2.4.51" || uid == "1.2.840.10008.1.2.4.81" ||
           uid == "1.2.840.10008.1.2.4.91";
}
