import java.awt.image.BufferedImage;

// The test pattern the applets paint: every pixel its own colour, so a box
// that shows it pixel for pixel can be told from one that scales or shifts.
final class Pattern {
    private Pattern() {}

    static int rgb(int x, int y) {
        return ((x * 7 + y) & 255) << 16 | ((y * 5 + x * 3) & 255) << 8 | ((x ^ y) & 255);
    }

    static BufferedImage image(int width, int height, int stripe) {
        BufferedImage image = new BufferedImage(width, height, BufferedImage.TYPE_INT_RGB);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setRGB(x, y, y < 4 ? stripe : rgb(x, y));
        return image;
    }

    // The colour of a "#RRGGBB" parameter (black without one).
    static int colour(String text) {
        if (text == null || !text.startsWith("#"))
            return 0;
        return Integer.parseInt(text.substring(1), 16);
    }
}
