// Loads a presentation with Apache POI and reads every embedded object's data to its end.
// Prints "slides=<n> objects=<n> bytes=<n>"; any failure ends with a non-zero exit code.
import java.io.FileInputStream;
import java.io.InputStream;
import org.apache.poi.hslf.usermodel.HSLFObjectData;
import org.apache.poi.hslf.usermodel.HSLFSlideShow;

public class LoadWithPoi {
    public static void main(String[] args) throws Exception {
        try (FileInputStream file = new FileInputStream(args[0]);
             HSLFSlideShow show = new HSLFSlideShow(file)) {
            int objects = 0;
            long bytes = 0;
            byte[] buffer = new byte[8192];
            for (HSLFObjectData object : show.getEmbeddedObjects()) {
                try (InputStream in = object.getInputStream()) {
                    for (int n; (n = in.read(buffer)) >= 0;) {
                        bytes += n;
                    }
                }
                ++objects;
            }
            System.out.println("slides=" + show.getSlides().size() + " objects=" + objects
                               + " bytes=" + bytes);
        }
    }
}
